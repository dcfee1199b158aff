#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion {

// Asked when a run finds no download directory: OK creates the typed folder
// (one level) and remembers the path as the created-directory text.
class dlgCreateDownloadDir : public QDialog
{
    Q_OBJECT
public:
    explicit dlgCreateDownloadDir(QWidget* parent = nullptr);

    // Shows the prompt modally; returns the created-directory text afterwards
    // (the path of the last OK since the program started, or empty).
    static QString ask(QWidget* parent);

    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtDir;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};

} // namespace kestrion
