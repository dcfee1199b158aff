#pragma once

#include <QObject>

#include <memory>

namespace kestrion {

class DownloadView;
class DownloadRun;
class ApiKeyStore;
struct RunInputs;

// Runs "Get Historical Data" for the main window: reads the window's inputs,
// runs the download engine on a worker thread and shows its progress, status
// texts and prompts in the window, so the window never freezes.
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
    // Shutdown: stops the run after the request under way and waits for it;
    // nothing the run had still queued for the window is shown, and the
    // window's inputs are enabled again.
    void cancelAndWait();

Q_SIGNALS:
    // A run has ended by itself, after its end steps (not after cancelAndWait()).
    void finished();

private:
    void launch(RunInputs in);

    DownloadView& m_window;
    ApiKeyStore* m_keyStore = nullptr; // reading the API key before a run
    struct Worker;
    std::unique_ptr<Worker> m_worker;
    quint64 m_serial = 0;
};

} // namespace kestrion
