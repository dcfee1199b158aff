#pragma once

#include <QPixmap>
#include <QWidget>

#include <memory>

class QLabel;
class QTimer;

namespace kestrion {

class frmMain;

// The start-up window: product, version and platform, shown for three
// seconds before the main window opens.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    // mainWindow is where the program keeps its main window; the splash makes
    // the window there when its time is up, unless one is there already. It
    // must outlive the splash.
    explicit frmSplash(std::unique_ptr<frmMain>& mainWindow, QWidget* parent = nullptr);
    ~frmSplash() override;

    QLabel* picLogo = nullptr;
    QLabel* lblProductName = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblPlatform = nullptr;
    QLabel* Label1 = nullptr;
    QTimer* Timer1 = nullptr;

    // "Version 1.5.7" from the build's version numbers.
    static QString versionText();
    // The program's logo, also its window icon.
    static QPixmap logo();
    // The advice on the screen's resolution for a screen of that size;
    // empty when the screen is large enough that it would only puzzle.
    static QString screenAdvice(const QSize& screen);

public Q_SLOTS:
    // Closes the splash and opens the program's one main window.
    void Timer1_Timer();

private:
    std::unique_ptr<frmMain>& m_mainWindow;
};

} // namespace kestrion
