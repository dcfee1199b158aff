#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion {

// Asks for the application's path when Launch Application could not start
// it. Modeless: the main window stays usable. OK makes the typed path the
// "App Name", tries it once and puts it into the options dialog; Cancel
// changes nothing. Either way the prompt is destroyed, so the next one starts
// with an empty path box.
class dlgLaunchApp : public QDialog
{
    Q_OBJECT
public:
    explicit dlgLaunchApp(QWidget* parent = nullptr);
    ~dlgLaunchApp() override;

    // Shows the prompt modeless over mainWindow. While one is open it is
    // brought to the front instead of opening a second.
    static dlgLaunchApp* showPrompt(QWidget* mainWindow);
    // The prompt that is open, or null.
    static dlgLaunchApp* openPrompt();

    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtPath;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void OKButton_Click();
};

// File > Launch Application and its toolbar button: starts "App Name", or
// shows the prompt when none is named or it could not be started.
void launchApplication(QWidget* mainWindow);

} // namespace kestrion
