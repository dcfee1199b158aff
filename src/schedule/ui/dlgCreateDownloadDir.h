#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion {

// Asked when a run finds no download directory: OK creates the typed folder
// (one level) and answers its path; Cancel answers the path of an earlier OK.
class dlgCreateDownloadDir : public QDialog
{
    Q_OBJECT
public:
    // earlierPath: the answer that stands when the prompt is cancelled.
    explicit dlgCreateDownloadDir(const QString& earlierPath = QString(), QWidget* parent = nullptr);

    // Shows the prompt modally over parent and returns the created-directory
    // text: the path just entered with OK, after a cancel the path of the
    // last OK over the same window, or empty when there was none.
    static QString ask(QWidget* parent);

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
