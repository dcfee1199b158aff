#pragma once

#include "download/download_request.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

namespace kestrion {

class ApiKeyStore;

// Reads the API keys a run needs without blocking (a secret store answers
// over D-Bus), one service after another: the chosen source's, where it
// takes one, then each fallback's.
class RunKeys : public QObject
{
    Q_OBJECT
public:
    // The request with its keys and fallbacks; chosenKeyMissing: the chosen
    // source needs a key and has none, so the run must not start.
    using Done = std::function<void(DownloadRequest request, bool chosenKeyMissing)>;

    explicit RunKeys(QObject* parent = nullptr);

    // Fills request.apiKey and request.fallbacks (from fallbackNames, in
    // order; one that needs a key it lacks is left out) and calls done once,
    // never from within this call. Deleting this object first means done
    // never comes.
    void read(const DownloadRequest& request, const QStringList& fallbackNames, Done done);

private:
    void next();

    DownloadRequest m_request;
    QStringList m_names; // still to read: empty for the chosen source, else a fallback's name
    Done m_done;
    bool m_chosenMissing = false;
    QPointer<ApiKeyStore> m_store;
};

} // namespace kestrion
