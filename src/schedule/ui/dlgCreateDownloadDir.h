#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion {

// Asked when a run finds no download directory: OK creates the typed folder
// with every missing folder above it and answers its path, or says why it
// could not and stays up; Cancel answers the path of an earlier OK.
class dlgCreateDownloadDir : public QDialog
{
    Q_OBJECT
public:
    // earlierPath: the answer that stands when the prompt is cancelled;
    // typedPath: the path box's text when it comes up.
    explicit dlgCreateDownloadDir(const QString& earlierPath = QString(), QWidget* parent = nullptr,
                                  const QString& typedPath = QString());

    // Shows the prompt window-modal over parent, starting from the path the
    // user typed, and returns; done gets the created-directory text once it is
    // closed: the path just made with OK, after a cancel the path of the last
    // OK over the same window, or empty when there was none. When parent is deleted first the prompt goes with it and done
    // never runs.
    static void openAsk(QWidget* parent, const QString& typedPath, std::function<void(const QString& created)> done);

    // The path entered with OK, or the earlier path when none was.
    QString createdDirectory() const { return m_created; }

    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtDir;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    QString m_created;
};

} // namespace kestrion
