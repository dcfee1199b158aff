#pragma once

#include "tools/chart_symbol.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QTimer;
class QToolBar;
class QWebEngineView;

namespace kestrion {

// The chart browser: a small web browser that opens on the chart of one
// ticker, with buttons for other chart periods, an address box with the
// addresses visited, and Back, Forward, Stop, Refresh, Home and Search.
// The title reads "Working..." while a page the user asked for is loading.
// Built only with Qt WebEngine; openChartBrowser() (chart_browser.h) is how
// the rest of the program opens it.
class frmBrowser : public QWidget
{
    Q_OBJECT
public:
    explicit frmBrowser(QWidget* parent = nullptr);
    ~frmBrowser() override;

    QToolBar* tbToolBar = nullptr;
    QWidget* picAddress = nullptr;
    QLabel* lblAddress = nullptr;
    QComboBox* cboAddress = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* opt1Day = nullptr;
    QRadioButton* opt5Day = nullptr;
    QRadioButton* opt1Mo = nullptr;
    QRadioButton* opt3Mo = nullptr;
    QRadioButton* opt6Mo = nullptr;
    QRadioButton* opt1Yr = nullptr;
    QRadioButton* opt2Yr = nullptr;
    QRadioButton* opt5Yr = nullptr;
    QWebEngineView* brwWebBrowser = nullptr;
    QTimer* timTimer = nullptr;

    // The chart address last built, by loadChart() or a period button.
    QString StartingAddress;
    // Set only while the address list is rewritten, so that rewriting it
    // does not count as the user picking an address.
    bool bSuppressNavigate = false;

    // Shows the window and opens the one-year chart of the ticker on the
    // chart host ("host" or "host:port").
    void loadChart(const QString& ticker, const QString& chartHost);

    // Symbol and country the window was loaded with.
    const ChartSymbol& chartSymbol() const { return m_chart; }
    // The period buttons, left to right.
    const std::array<QRadioButton*, 8>& periodButtons() const { return m_periodButtons; }
    // The address list, most recent first.
    QStringList addressList() const { return m_history.entries(); }
    // True while a page is loading or a requested one has not started yet.
    bool isBusy() const;

    // Runs the toolbar button with this key; any other key only switches
    // the busy indicator on.
    void buttonClick(const QString& key);
    // The address box's "selection": navigates to the box's text.
    void addressSelected();
    // A period button's click.
    void periodClicked(ChartPeriod period);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolBar();
    void buildAddressPanel();
    void buildPeriodFrame();
    void applyResizeRule();
    void navigate(const QString& address);
    void markRequested();
    void timerTick();
    void onLoadStarted();
    void onLoadFinished(bool ok);
    // Tells the user the page's process ended, and how.
    void showPageEnded(const char* what, int exitCode);
    void navigationComplete();
    QString locationName() const;

    std::array<QRadioButton*, 8> m_periodButtons{};
    ChartSymbol m_chart;
    QString m_chartHost;
    AddressHistory m_history;
    bool m_loading = false;
    // Started when this window asks for a page, so the busy indicator sees
    // the request before the view reports that loading has begun.
    QElapsedTimer m_requested;
};

} // namespace kestrion
