#pragma once

#include <QObject>

#include <memory>

namespace kestrion {

class DownloadView;
class DownloadRun;
class MetaStockFactory;
class RunHost;
class ApiKeyStore;
struct RunInputs;

// Runs "Get Historical Data" for the main window: reads the window's inputs,
// starts the download run and shows its progress, status texts and prompts
// in the window. The run is event-driven, so the window never freezes.
class DownloadController : public QObject
{
    Q_OBJECT
public:
    explicit DownloadController(DownloadView& view);
    ~DownloadController() override;

    // Starts a run with the window's current inputs; automatic marks a run
    // started by the automatic download timer. Does nothing while a run is
    // going on.
    void start(bool automatic = false);
    bool isRunning() const;
    // Shutdown: ends the run at once (requests in flight are aborted, their
    // partial answers thrown away); nothing more of it is shown, and the
    // window's inputs are enabled again.
    void cancel();

Q_SIGNALS:
    // A run has ended by itself, after its end steps (not after cancel()).
    void finished();

private:
    void launch(const RunInputs& in);
    void endRun();

    DownloadView& m_window;
    ApiKeyStore* m_keyStore = nullptr; // reading the API key before a run
    std::unique_ptr<RunHost> m_host;
    std::unique_ptr<MetaStockFactory> m_metastock;
    DownloadRun* m_run = nullptr; // the run under way, a child of this
};

} // namespace kestrion
