#pragma once

#include <QString>

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion {

// The widgets of a prompt that explains something and asks for a path.
struct PathPromptWidgets
{
    QLabel* message; // "Label1", wrapped
    QLabel* pathLabel; // "Label2", "Path:"
    QLineEdit* path;
    QPushButton* ok; // "OKButton", the default button
    QPushButton* cancel; // "CancelButton", rejects the dialog
};

// Lays out the message over the path box, with OK and Cancel below on the
// right. pathName is the object name of the path box.
PathPromptWidgets buildPathPrompt(QDialog* dialog, const QString& message, const QString& pathName);

} // namespace kestrion
