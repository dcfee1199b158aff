#pragma once

#include "platform/program_launcher.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion {

struct Settings;

// Asks for the application's path when Launch Application could not start
// it. Modeless: the main window stays usable. OK makes the typed path the
// "App Name", tries it once and announces it; Cancel changes nothing. Either
// way the prompt deletes itself, so the next one starts with an empty path
// box.
class dlgLaunchApp : public QDialog
{
    Q_OBJECT
public:
    dlgLaunchApp(Settings& settings, ProgramStarter start, QWidget* parent = nullptr);

    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtPath;
    QPushButton* OKButton;
    QPushButton* CancelButton;

Q_SIGNALS:
    // OK was pressed: path is the new "App Name" (tried already).
    void applicationPathAccepted(const QString& path);

private:
    void OKButton_Click();

    Settings& m_settings;
    ProgramStarter m_start;
};

} // namespace kestrion
