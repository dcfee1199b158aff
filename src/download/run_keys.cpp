#include "download/run_keys.h"

#include "platform/api_key_store.h"
#include "sources/source_registry.h"

namespace kestrion {

RunKeys::RunKeys(QObject* parent)
    : QObject(parent)
{
}

void RunKeys::read(const DownloadRequest& request, const QStringList& fallbackNames, Done done)
{
    m_request = request;
    m_request.fallbacks.clear();
    // The chosen source first, as an empty name.
    m_names = QStringList{QString()} + fallbackNames;
    m_done = std::move(done);
    m_chosenMissing = false;
    QMetaObject::invokeMethod(this, &RunKeys::next, Qt::QueuedConnection);
}

void RunKeys::next()
{
    while (!m_names.isEmpty()) {
        const QString name = m_names.takeFirst();
        const bool chosen = name.isEmpty();
        const QuoteSourceEntry& entry = chosen ? quoteSourceEntry(m_request.settings) : quoteSourceEntry(name);
        if (!entry.takesApiKey && !entry.needsApiKey) {
            if (!chosen)
                m_request.fallbacks.push_back({entry.storedText, QString()});
            continue;
        }
        m_store = new ApiKeyStore(entry.keyPlace, this);
        connect(m_store, &ApiKeyStore::readDone, this,
                [this, chosen, storedText = entry.storedText, needed = entry.needsApiKey](const StoredKey& stored) {
                    m_store->deleteLater();
                    if (chosen) {
                        m_request.apiKey = stored.key;
                        m_chosenMissing = stored.key.isEmpty() && needed;
                    } else if (!stored.key.isEmpty() || !needed) {
                        m_request.fallbacks.push_back({storedText, stored.key});
                    }
                    next();
                });
        m_store->read();
        return;
    }
    Done done = std::move(m_done);
    if (done)
        done(m_request, m_chosenMissing);
}

} // namespace kestrion
