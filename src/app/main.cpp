#include "app/app_state.h"
#include "app/ui/frmMain.h"
#include "app/ui/frmSplash.h"
#include "platform/shutdown_signals.h"
#include "platform/single_instance.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

using namespace kestrion;

int main(int argc, char* argv[])
{
    // The program takes no options of its own; QApplication only sees to Qt's.
    QApplication app(argc, argv);
    setApplicationIdentity();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kestrion-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // Lets the desktop match the windows to the installed menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrion.Kestrion"));
    // The main window ends the run itself once its settings are saved; the
    // splash closing just before the main window shows must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance single(SingleInstance::defaultLockPath());
    // When no lock can be made at all the rule can't be enforced; starting
    // anyway beats refusing to start.
    if (single.tryAcquire() == SingleInstance::Result::AlreadyRunning) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Previous Instance Detected"),
                        QStringLiteral("Program already running, terminating this instance..."), QMessageBox::Ok);
        box.exec();
        return 0;
    }

    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::requested, [] {
        if (frmMain* main = frmMain::instance())
            main->close(); // as File > Exit: the settings are saved
        else
            QCoreApplication::quit();
    });
    shutdown.install();

    int result = 0;
    {
        frmSplash splash;
        splash.show();
        splash.repaint();
        result = QApplication::exec();
    }
    delete frmMain::instance();
    return result;
}
