#pragma once

#include "download/run_view.h"
#include "download/ui/download_controller.h"

class QWidget;

namespace kestrion {

class ListEditor;
class StatusPanels;
struct MainControls;

// The main window's side of a download: what it shows as the run's request,
// and how it shows the run (controls, list, status panels and prompts).
class WindowDownloadView final : public RunView
{
public:
    WindowDownloadView(QWidget& window, const MainControls& controls, ListEditor& list, StatusPanels& panels);

    // The dates, period, folder and tickers the window shows.
    ShownRequest shown() const;

    void runStarting() override;
    void setInputsEnabled(bool enabled) override;
    void refreshList() override;
    void setStatusText(const QString& text) override;
    void setStatusToolTip(const QString& text) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    void progressToMinimum() override;
    void progressToMaximum() override;
    void askStop(std::function<void(bool stop)> answered) override;
    void askCreateDirectory(const QString& typedPath, std::function<void(const QString& created)> answered) override;
    void showCompletionMessage(std::function<void()> closed) override;
    void tickerFailed(const QString& symbol, FailureReason reason, const QString& detail) override;
    void fallbacksFailed(const QString& symbol, const QStringList& failures) override;
    void sourceStopped(const QString& text) override;

private:
    QWidget& m_window;
    const MainControls& m_c;
    ListEditor& m_list;
    StatusPanels& m_panels;
    int m_failures = 0; // of the run under way
    QString m_lastFailure;
};

} // namespace kestrion
