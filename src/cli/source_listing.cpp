#include "cli/source_listing.h"

#include "platform/api_key_store.h"
#include "sources/source_registry.h"

#include <QDir>
#include <QEventLoop>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace kestrion {

namespace {

QString keyNeed(const QuoteSourceEntry& e)
{
    if (e.needsApiKey)
        return QStringLiteral("needed");
    return e.takesApiKey ? QStringLiteral("optional") : QStringLiteral("none");
}

// Whether the service's key is kept anywhere; the secret store answers over
// D-Bus, capped by the store's own time-out.
bool keyPresent(const QuoteSourceEntry& e)
{
    ApiKeyStore store(e.keyPlace);
    QEventLoop wait;
    bool present = false;
    QObject::connect(&store, &ApiKeyStore::readDone, &wait, [&](const StoredKey& stored) {
        present = !stored.key.isEmpty();
        wait.quit();
    });
    store.read();
    wait.exec();
    return present;
}

QString periodNames(const QuoteSourceEntry& e)
{
    QStringList names;
    if (e.serves(HistoryPeriod::Daily))
        names << QStringLiteral("daily");
    if (e.serves(HistoryPeriod::Weekly))
        names << QStringLiteral("weekly");
    if (e.serves(HistoryPeriod::Monthly))
        names << QStringLiteral("monthly");
    return names.join(QLatin1Char(','));
}

QString originText(const QuoteSourceEntry& e)
{
    switch (e.origin) {
    case QuoteSourceEntry::Origin::BuiltIn:
        return QStringLiteral("built in");
    case QuoteSourceEntry::Origin::ShippedFile:
        return QStringLiteral("shipped file");
    case QuoteSourceEntry::Origin::UserFile:
        return QStringLiteral("user file");
    }
    return {};
}

} // namespace

int listSources()
{
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        const bool takesKey = e.needsApiKey || e.takesApiKey;
        QStringList fields{e.cliName,
                           e.storedText,
                           QStringLiteral("key: ") + keyNeed(e),
                           QStringLiteral("key present: ")
                               + (!takesKey         ? QStringLiteral("-")
                                      : keyPresent(e) ? QStringLiteral("yes")
                                                      : QStringLiteral("no")),
                           periodNames(e),
                           originText(e)};
        if (!e.descriptionFile.isEmpty())
            fields << QDir::toNativeSeparators(e.descriptionFile);
        std::printf("%s\n", qPrintable(fields.join(QLatin1Char('\t'))));
    }
    std::fflush(stdout);
    return 0;
}

int checkSources()
{
    const QStringList& problems = describedSourceProblems();
    for (const QString& problem : problems)
        std::printf("%s\n", qPrintable(problem));
    if (problems.isEmpty())
        std::printf("every source description is usable\n");
    std::fflush(stdout);
    return problems.isEmpty() ? 0 : 1;
}

} // namespace kestrion

namespace kestrion {

QString applyFallbackOption(const QString& value, Settings& settings)
{
    const QuoteSourceEntry& chosen = quoteSourceEntry(settings);
    if (!chosen.fallbacks)
        return QStringLiteral("--fallback applies to the current services only (Yahoo Chart, Tiingo and the described "
                              "ones); %1 writes files of its own and takes no part: nothing was asked for")
            .arg(chosen.storedText);
    QStringList fallbacks;
    if (value.trimmed() != QLatin1String("none")) {
        QStringList usable;
        for (const QuoteSourceEntry& e : quoteSourceEntries()) {
            if (e.fallbacks)
                usable << e.cliName;
        }
        for (const QString& part : value.split(QLatin1Char(','))) {
            const QString name = part.trimmed();
            const auto& entries = quoteSourceEntries();
            const auto entry = std::find_if(entries.cbegin(), entries.cend(),
                                            [&name](const QuoteSourceEntry& e) { return e.cliName == name; });
            if (entry == entries.cend() || !entry->fallbacks)
                return QStringLiteral("--fallback takes \"none\" or names from %1, not \"%2\"")
                    .arg(usable.join(QStringLiteral(", ")), name);
            fallbacks << entry->storedText;
        }
    }
    settings.fallbackSources = fallbacks;
    return QString();
}

} // namespace kestrion
