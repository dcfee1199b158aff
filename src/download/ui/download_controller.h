#pragma once

#include "formats/price_table.h"
#include "sources/quote_request.h"

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

namespace kestrion {

class RunKeys;
class DownloadRun;
class MetaStockFactory;
class RunView;
class TickerList;
struct DownloadRequest;

// What the window shows when "Get Historical Data" is pressed.
struct ShownRequest
{
    DayTexts start;
    DayTexts end;
    HistoryPeriod period = HistoryPeriod::None;
    QString downloadDir;
    bool singleStock = false;
    int currentRow = -1; // the grid's current row; -1 when there is none
    const TickerList* list = nullptr; // the list the grid shows
};

// Runs "Get Historical Data" for the main window: turns what the window
// shows into a request, starts the download run and lets the window show
// its progress, status texts and prompts. The run is event-driven, so the
// window never freezes.
class DownloadController : public QObject
{
    Q_OBJECT
public:
    // window: what the controller's own warnings belong to.
    DownloadController(QWidget& window, RunView& view);
    ~DownloadController() override;

    // Starts a run of what the window shows; automatic marks a run started
    // by the automatic download timer. Does nothing while a run is going on.
    void start(const ShownRequest& shown, bool automatic = false);
    bool isRunning() const;
    // Shutdown: ends the run at once (requests in flight are aborted, their
    // partial answers thrown away); nothing more of it is shown, and the
    // window's inputs are enabled again.
    void cancel();

Q_SIGNALS:
    // A run has ended by itself, after its end steps (not after cancel()).
    void finished();

private:
    void launch(const DownloadRequest& request);
    void warnAndEnd(const QString& text);
    void endRun();

    QWidget& m_window;
    RunView& m_view;
    RunKeys* m_keys = nullptr; // reading the API keys before a run
    std::unique_ptr<MetaStockFactory> m_metastock;
    DownloadRun* m_run = nullptr; // the run under way, a child of this
};

} // namespace kestrion
