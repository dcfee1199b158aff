// kestrion-cli: the download engine without a window, for scheduled and
// scripted downloads. Defaults come from the same settings as the window.
#include "cli/runs_log.h"
#include "cli/source_listing.h"
#include "download/run_keys.h"
#include "core/app_state.h"
#include "core/settings_record.h"
#include "download/download_run.h"
#include "download/metastock_components.h"
#include "download/metastock_factory.h"
#include "sources/quote_request.h"
#include "sources/quote_source.h"
#include "lists/access_file.h"
#include "lists/import_values.h"
#include "lists/list_import.h"
#include "lists/ticker_list.h"
#include "platform/api_key_store.h"
#include "platform/memory_reuse.h"
#include "platform/settings_store.h"
#include "platform/shutdown_signals.h"
#include "sources/source_registry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

using namespace kestrion;

namespace {

enum ExitCode { kAllStored = 0, kSomeFailed = 1, kUsage = 2, kFolderBusy = 3 };

int fail(const QString& message)
{
    std::fprintf(stderr, "kestrion-cli: %s\n", qPrintable(message));
    return kUsage;
}

// Prints one line per finished ticker; never asks anything.
class ConsoleHost : public RunView
{
public:
    explicit ConsoleHost(int total)
        : m_total(total)
        , m_progress(isatty(STDERR_FILENO) == 1)
    {
    }

    void setStatusText(const QString& text) override
    {
        if (!m_progress)
            return;
        std::fprintf(stderr, "\r\033[K[%d/%d] %s", m_done, m_total, qPrintable(text));
        std::fflush(stderr);
    }
    void setProgressRange(int, int) override { }
    void setProgressValue(int) override { }
    void progressToMinimum() override { }
    void progressToMaximum() override { }
    void tickerFailed(const QString&, FailureReason reason, const QString& detail) override
    {
        m_reason = reason;
        // The other ticker, so the user knows which of the two to rename.
        m_clashesWith = reason == FailureReason::NameClash ? detail : QString();
    }
    // Says at the end how many tickers failed and where they are listed, and,
    // when no ticker reached the service at all, what to look at first.
    // A --symbol run writes no error log, so one already there is not its list.
    void summarize(const RunResult& result, bool logWritten, const QString& settingsFile) const
    {
        if (result.failed == 0 || result.cancelled)
            return;
        QString line = QStringLiteral("kestrion-cli: %1 of %2 tickers failed").arg(result.failed).arg(m_total);
        if (logWritten && result.errorsLogged && result.errorLogProblem.isEmpty())
            line += QStringLiteral(" (listed in %1)")
                        .arg(QDir::toNativeSeparators(QDir(result.downloadDir).filePath(QStringLiteral("errorlog.txt"))));
        std::fprintf(stderr, "%s\n", qPrintable(line));
        if (m_unreachable == result.failed && m_done == m_total)
            std::fprintf(stderr,
                         "kestrion-cli: the quote service could not be reached: check the network connection, or "
                         "the host names under [Services] in %s\n",
                         qPrintable(QDir::toNativeSeparators(settingsFile)));
        std::fflush(stderr);
    }
    void tickerServedBy(const QString&, const QString& source) override { m_servedBy = source; }
    void fallbacksFailed(const QString&, const QStringList& failures) override
    {
        m_fallbackFailures = failures.join(QStringLiteral("; "));
    }
    void tickerFinished(const QString& symbol, bool ok, const QString& path) override
    {
        ++m_done;
        if (m_progress)
            std::fprintf(stderr, "\r\033[K");
        if (ok && !m_servedBy.isEmpty())
            std::printf("%s ok %s (from %s)\n", qPrintable(symbol), qPrintable(path), qPrintable(m_servedBy));
        else if (ok)
            std::printf("%s ok %s\n", qPrintable(symbol), qPrintable(path));
        else if (!m_clashesWith.isEmpty())
            std::printf("%s failed: %s (%s)\n", qPrintable(symbol), qPrintable(reasonText(m_reason)),
                        qPrintable(m_clashesWith));
        else if (m_reason != FailureReason::None) {
            if (m_reason == FailureReason::Unreachable)
                ++m_unreachable;
            if (m_fallbackFailures.isEmpty())
                std::printf("%s failed: %s\n", qPrintable(symbol), qPrintable(reasonText(m_reason)));
            else
                std::printf("%s failed: %s; %s\n", qPrintable(symbol), qPrintable(reasonText(m_reason)),
                            qPrintable(m_fallbackFailures));
        } else
            std::printf("%s failed\n", qPrintable(symbol));
        m_reason = FailureReason::None;
        m_clashesWith.clear();
        m_servedBy.clear();
        m_fallbackFailures.clear();
        std::fflush(stdout);
    }
    void sourceStopped(const QString& text) override
    {
        if (m_progress)
            std::fprintf(stderr, "\r\033[K");
        if (m_fallbacks)
            std::fprintf(stderr, "kestrion-cli: %s; it is asked nothing more in this run\n", qPrintable(text));
        else
            std::fprintf(stderr, "kestrion-cli: %s; the remaining tickers are not asked for\n", qPrintable(text));
        std::fflush(stderr);
    }
    void finish()
    {
        if (m_progress) {
            std::fprintf(stderr, "\r\033[K");
            std::fflush(stderr);
        }
    }

private:
    int m_total;
    int m_done = 0;
    int m_unreachable = 0;
    bool m_progress;
    FailureReason m_reason = FailureReason::None;
    QString m_clashesWith;
    QString m_servedBy;
    QString m_fallbackFailures;

public:
    bool m_fallbacks = false; // the run has fallback sources to go on with
};

// Keeps the Access reading library's own diagnostics (some of them on
// standard output, where scripts read one line per ticker) off the terminal
// while it runs; the reason for a failure is reported by the caller.
class QuietStdio
{
public:
    QuietStdio()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null < 0)
            return;
        m_out = ::dup(STDOUT_FILENO);
        m_err = ::dup(STDERR_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~QuietStdio()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        if (m_out >= 0) {
            ::dup2(m_out, STDOUT_FILENO);
            ::close(m_out);
        }
        if (m_err >= 0) {
            ::dup2(m_err, STDERR_FILENO);
            ::close(m_err);
        }
    }
    QuietStdio(const QuietStdio&) = delete;
    QuietStdio& operator=(const QuietStdio&) = delete;

private:
    int m_out = -1;
    int m_err = -1;
};

// The symbols of one text column of an Access file, read in place (the file
// is never written). Values a list can't hold are named on stderr and left
// out; they don't change the exit status. Returns kAllStored, or kUsage after
// the message when the table or column is missing or the file can't be read.
int readAccessList(const QString& path, QString table, QString column, QStringList& symbols)
{
    QVector<AccessTable> tables;
    QString error;
    bool read = false;
    {
        const QuietStdio quiet;
        read = readAccessTables(path, tables, &error);
    }
    if (!read)
        return fail(QStringLiteral("cannot read Access file \"%1\": %2").arg(path, error));
    QStringList names;
    for (const AccessTable& t : tables)
        names << QStringLiteral("\"%1\"").arg(t.name);
    const QString found = names.isEmpty() ? QStringLiteral("it has none") : names.join(QStringLiteral(", "));
    const bool tableGiven = !table.isEmpty();
    if (!tableGiven)
        table = QStringLiteral("Table1");
    const AccessTable* chosen = findAccessTable(tables, table);
    if (!chosen && !tableGiven)
        return fail(
            QStringLiteral("Access file \"%1\" has no table \"Table1\"; choose one with --table: %2").arg(path, found));
    if (!chosen)
        return fail(QStringLiteral("Access file \"%1\" has no table \"%2\"; its tables: %3").arg(path, table, found));
    if (column.isEmpty())
        column = QStringLiteral("Symbol");
    if (!chosen->textColumns.contains(column, Qt::CaseInsensitive)) {
        QStringList columns;
        for (const QString& c : chosen->textColumns)
            columns << QStringLiteral("\"%1\"").arg(c);
        const QString offer = columns.isEmpty()
            ? QStringLiteral("it has no text columns")
            : QStringLiteral("choose one with --column: ") + columns.join(QStringLiteral(", "));
        return fail(QStringLiteral("table \"%1\" of Access file \"%2\" has no text column \"%3\"; %4")
                        .arg(chosen->name, path, column, offer));
    }
    QStringList values;
    {
        const QuietStdio quiet;
        read = readAccessColumn(path, {chosen->name, column}, values, &error);
    }
    if (!read)
        return fail(QStringLiteral("cannot read Access file \"%1\": %2").arg(path, error));
    symbols.clear();
    for (const QString& value : values) {
        switch (ImportValues::judge(value)) {
        case ImportValues::Verdict::Symbol:
            symbols << value;
            break;
        case ImportValues::Verdict::Empty:
            std::fprintf(stderr, "skipped: (empty value)\n");
            break;
        case ImportValues::Verdict::TooLong:
            std::fprintf(stderr, "skipped: %s (too long)\n", qPrintable(value));
            break;
        case ImportValues::Verdict::ControlCharacters:
            std::fprintf(stderr, "skipped: %s (control characters)\n", qPrintable(shownValue(value)));
            break;
        }
    }
    std::fflush(stderr);
    return kAllStored;
}

// Ends the program by signalNumber with its default action, so that the
// shell sees 128 + the signal (130 for SIGINT, 143 for SIGTERM) and a script
// looping over runs stops on Ctrl+C as it would for any other program.
[[noreturn]] void endBySignal(int signalNumber)
{
    std::fflush(stdout);
    std::fflush(stderr);
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    ::sigaction(signalNumber, &sa, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signalNumber);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signalNumber);
    std::_Exit(128 + signalNumber); // not reached while the default action ends the process
}

// The day of a YYYY-MM-DD text; invalid for any other shape or no such day.
QDate isoDay(const QString& iso)
{
    // Exactly YYYY-MM-DD: no other separators, no time of day.
    static const QRegularExpression shape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (!shape.match(iso).hasMatch())
        return {};
    return QDate::fromString(iso, QStringLiteral("yyyy-MM-dd"));
}

// --source's help, from the registry: the names, then which need a key.
QString sourceOptionHelp()
{
    QStringList names;
    QString keys;
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        names << e.cliName;
        if (e.needsApiKey)
            keys += QStringLiteral(" %1 needs an API key (%2 or Kestrion's options).")
                        .arg(e.storedText, e.keyPlace.variable);
        else if (e.takesApiKey)
            keys += QStringLiteral(" %1 takes an API key (%2 or Kestrion's options).")
                        .arg(e.storedText, e.keyPlace.variable);
    }
    const QString last = names.takeLast();
    return QStringLiteral("Quote source: %1 or %2.").arg(names.join(QStringLiteral(", ")), last) + keys;
}

// Everything but the program's set-up; record gets what runs.log needs.
int runCommand(QCoreApplication& app, RunRecord& record)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Downloads the quote history of every ticker of a list (or of one symbol) into a download "
                       "directory, exactly as Kestrion's \"Get Historical Data\" does. Options not given are taken "
                       "from Kestrion's settings. Dates are written YYYY-MM-DD.\n\nExit status: 0 every ticker "
                       "stored, 1 some ticker could not be downloaded (a list run names them in errorlog.txt), 2 bad "
                       "usage, a range that ends before it starts, a list that cannot be opened or a missing "
                       "download directory; 3 another Kestrion run is writing to the download directory; 130 or 143 "
                       "stopped by SIGINT or SIGTERM."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption listOpt(QStringLiteral("list"), QStringLiteral("Ticker list file."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption dirOpt(QStringLiteral("dir"), QStringLiteral("Download directory (must exist)."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption fromOpt(QStringLiteral("from"), QStringLiteral("Start date."),
                                     QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption toOpt(QStringLiteral("to"), QStringLiteral("End date (default today)."),
                                   QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption periodOpt(QStringLiteral("period"),
                                       QStringLiteral("History period: daily, weekly or monthly (default daily)."),
                                       QStringLiteral("PERIOD"));
    const QCommandLineOption sourceOpt(QStringLiteral("source"), sourceOptionHelp(), QStringLiteral("SOURCE"));
    const QCommandLineOption fallbackOpt(
        QStringLiteral("fallback"),
        QStringLiteral("Sources asked in order for a ticker the chosen source could not give: --source names "
                       "separated by commas, or none. Default: the saved Fallback Sources."),
        QStringLiteral("NAMES"));
    const QCommandLineOption formatOpt(QStringLiteral("format"),
                                       QStringLiteral("Wall Street City format code: 4, 1, 3, 6, 5 or 7."),
                                       QStringLiteral("CODE"));
    const QCommandLineOption extOpt(QStringLiteral("ext"), QStringLiteral("File extension, e.g. .csv."),
                                    QStringLiteral("EXT"));
    const QCommandLineOption stampOpt(QStringLiteral("date-stamp"), QStringLiteral("Add the end date to file names."));
    const QCommandLineOption deleteOpt(
        QStringLiteral("delete-existing"),
        QStringLiteral("Move the files this run writes (and errorlog.txt) to the trash first; other "
                       "files stay."));
    const QCommandLineOption msOpt(QStringLiteral("metastock"), QStringLiteral("Store the quotes as MetaStock data."));
    const QCommandLineOption symbolOpt(QStringLiteral("symbol"),
                                       QStringLiteral("Download this one symbol instead of the list."),
                                       QStringLiteral("SYM"));
    const QCommandLineOption tableOpt(QStringLiteral("table"),
                                      QStringLiteral("Access list files: the table to read (default Table1)."),
                                      QStringLiteral("NAME"));
    const QCommandLineOption columnOpt(QStringLiteral("column"),
                                       QStringLiteral("Access list files: the text column to read (default Symbol)."),
                                       QStringLiteral("NAME"));
    const QCommandLineOption updateOpt(
        QStringLiteral("update"),
        QStringLiteral("Add only the new days to the data files already there (Yahoo Chart, Tiingo, Yahoo and the "
                       "described services)."));
    const QCommandLineOption jobsOpt(
        QStringLiteral("jobs"),
        QStringLiteral("Requests in flight at once, 1 to 8 (default: Kestrion's setting; 4, or 1 for Tiingo)."),
        QStringLiteral("N"));
    const QCommandLineOption listSourcesOpt(
        QStringLiteral("list-sources"),
        QStringLiteral("Print one line per quote source, fields separated by a tab: its --source name, its Data Source "
                       "text, key: needed/optional/none, key present: yes/no (- when it takes none), its periods, "
                       "where it comes from (built in, shipped file, user file) and the file. Never prints a key."));
    const QCommandLineOption automaticOpt(
        QStringLiteral("automatic"),
        QStringLiteral("Run as the window's automatic download would, on the saved settings (other options still "
                       "override them), never starting the Launch Application program, and append a line to "
                       "$XDG_STATE_HOME/Kestrion/runs.log."));
    const QCommandLineOption checkSourcesOpt(
        QStringLiteral("check-sources"),
        QStringLiteral("Print each service description that cannot be used (file: key: fault); exit status 0 when "
                       "every one is usable, 1 otherwise."));
    parser.addOptions({listOpt, dirOpt, fromOpt, toOpt, periodOpt, sourceOpt, fallbackOpt, formatOpt, extOpt, stampOpt, deleteOpt,
                       updateOpt, jobsOpt, msOpt, symbolOpt, tableOpt, columnOpt, listSourcesOpt, checkSourcesOpt,
                       automaticOpt});
    if (!parser.parse(app.arguments()))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return kAllStored;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("kestrion-cli %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return kAllStored;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.isSet(listSourcesOpt))
        return listSources();
    if (parser.isSet(checkSourcesOpt))
        return checkSources();

    SettingsStore store;
    Settings settings;
    WindowValues window;
    loadSettings(store, settings, window);
    record.automatic = parser.isSet(automaticOpt);
    record.source = settings.dataSource;
    const ServiceConfig services = ServiceConfig::load(store);

    DownloadRequest in;
    in.services = services;
    // Without --from, the start the window shows.
    DayTexts start = window.startMonth.isEmpty()
        ? DayTexts{QStringLiteral("Jan"), QStringLiteral("01"), QStringLiteral("2003")}
        : DayTexts{window.startMonth, window.startDay, window.startYear};
    if (parser.isSet(fromOpt)) {
        const QDate from = isoDay(parser.value(fromOpt));
        if (!from.isValid())
            return fail(QStringLiteral("--from needs a date as YYYY-MM-DD, not \"%1\"").arg(parser.value(fromOpt)));
        start = DayTexts::of(from);
    }
    const QString to = parser.isSet(toOpt) ? parser.value(toOpt) : QDate::currentDate().toString(Qt::ISODate);
    if (!isoDay(to).isValid())
        return fail(QStringLiteral("--to needs a date as YYYY-MM-DD, not \"%1\"").arg(to));
    const DayTexts end = DayTexts::of(isoDay(to));
    if (const QString problem = rangeProblem(start, end); !problem.isEmpty())
        return fail(problem + QStringLiteral(": nothing was asked for"));
    in.range = {start.date(), end.date()};

    const QString period = parser.isSet(periodOpt) ? parser.value(periodOpt) : QStringLiteral("daily");
    if (period == QLatin1String("daily"))
        in.period = HistoryPeriod::Daily;
    else if (period == QLatin1String("weekly"))
        in.period = HistoryPeriod::Weekly;
    else if (period == QLatin1String("monthly"))
        in.period = HistoryPeriod::Monthly;
    else
        return fail(QStringLiteral("--period must be daily, weekly or monthly, not \"%1\"").arg(period));

    if (parser.isSet(sourceOpt)) {
        const QString source = parser.value(sourceOpt);
        QStringList names;
        for (const QuoteSourceEntry& e : quoteSourceEntries()) {
            names << e.cliName;
            if (e.cliName == source)
                settings.dataSource = e.storedText;
        }
        if (!names.contains(source))
            return fail(
                QStringLiteral("--source must be one of %1, not \"%2\"").arg(names.join(QStringLiteral(", ")), source));
    }
    if (parser.isSet(fallbackOpt)) {
        if (const QString problem = applyFallbackOption(parser.value(fallbackOpt), settings); !problem.isEmpty())
            return fail(problem);
    }
    if (parser.isSet(formatOpt)) {
        static const QStringList codes{"4", "1", "3", "6", "5", "7"};
        if (!codes.contains(parser.value(formatOpt)))
            return fail(QStringLiteral("--format must be one of 4, 1, 3, 6, 5, 7"));
        settings.dataFormat = parser.value(formatOpt);
    }
    if (parser.isSet(extOpt))
        settings.fileExtension = parser.value(extOpt);
    if (parser.isSet(stampOpt))
        settings.dateStamp = true;
    if (parser.isSet(deleteOpt) && parser.isSet(updateOpt))
        return fail(QStringLiteral("--delete-existing and --update exclude each other: choose one"));
    if (parser.isSet(deleteOpt)) {
        settings.deleteExistingFiles = true;
        settings.updateExistingFiles = false;
    }
    if (parser.isSet(updateOpt)) {
        settings.updateExistingFiles = true;
        settings.deleteExistingFiles = false;
    }
    if (parser.isSet(jobsOpt)) {
        bool number = false;
        const int jobs = parser.value(jobsOpt).toInt(&number);
        if (!number || jobs < 1 || jobs > DownloadRun::kMaxJobs)
            return fail(QStringLiteral("--jobs needs a number from 1 to %1, not \"%2\"")
                            .arg(DownloadRun::kMaxJobs)
                            .arg(parser.value(jobsOpt)));
        settings.parallelRequests = jobs;
    }
    if (parser.isSet(msOpt))
        settings.convertToMS = true;
    settings.activeAlerts = false; // never prompt: log and go on
    settings.playSound = false;
    record.source = settings.dataSource;
    if (!quoteSourceEntry(settings).serves(in.period))
        return fail(QStringLiteral("%1 cannot give %2 prices: nothing was asked for").arg(settings.dataSource, period));
    in.settings = settings;

    in.downloadDir = parser.isSet(dirOpt) ? parser.value(dirOpt) : window.downloadDir;
    if (in.downloadDir.isEmpty())
        return fail(QStringLiteral("no download directory: give --dir or set one in Kestrion"));
    if (!QFileInfo::exists(in.downloadDir))
        return fail(QStringLiteral("download directory \"%1\" does not exist").arg(in.downloadDir));
    if (!QFileInfo(in.downloadDir).isDir())
        return fail(QStringLiteral("download directory \"%1\" is not a directory").arg(in.downloadDir));
    if (parser.isSet(symbolOpt) && parser.value(symbolOpt).trimmed().isEmpty())
        return fail(QStringLiteral("--symbol needs a ticker symbol"));

    TickerList list;
    QStringList symbols;
    if (parser.isSet(symbolOpt)) {
        pickTickers(in, true, QStringList{parser.value(symbolOpt)}, true, 0);
    } else {
        Settings forPath = settings;
        const QString listPath = parser.isSet(listOpt) ? parser.value(listOpt)
                                                       : resolveDatabasePath(forPath, defaultListFolder());
        record.listPath = QFileInfo(listPath).absoluteFilePath();
        if (isAccessFile(listPath)) {
            // Read in place, never converted or written.
            const int code = readAccessList(listPath, parser.value(tableOpt), parser.value(columnOpt), symbols);
            if (code != kAllStored)
                return code;
        } else {
            if (parser.isSet(tableOpt) || parser.isSet(columnOpt))
                return fail(QStringLiteral("--table and --column apply to Access files only, and \"%1\" is not one")
                                .arg(listPath));
            QString error;
            if (!list.open(listPath, &error))
                return fail(QStringLiteral("cannot open ticker list \"%1\": %2").arg(listPath, error));
            if (!list.readSymbols(symbols, &error))
                return fail(QStringLiteral("cannot read ticker list \"%1\": %2; the download did not start")
                                .arg(listPath, error));
        }
        if (symbols.isEmpty())
            return fail(QStringLiteral("the ticker list \"%1\" is empty: nothing to download").arg(listPath));
        pickTickers(in, true, symbols, false, -1);
    }

    ConsoleHost host(int(in.symbols.size()));
    const std::unique_ptr<MetaStockFactory> metastock = makeMetaStockFactory(services);
    DownloadRun run(host, *metastock);
    int exitCode = kAllStored;
    QObject::connect(&run, &DownloadRun::finished, &app, [&](const RunResult& result) {
        host.finish();
        if (!result.folderBusy.isEmpty()) {
            std::fprintf(stderr, "kestrion-cli: %s\n", qPrintable(result.folderBusy));
            exitCode = kFolderBusy;
            QCoreApplication::exit(exitCode);
            return;
        }
        for (const QString& problem : {result.notStarted, result.errorLogProblem}) {
            if (!problem.isEmpty())
                std::fprintf(stderr, "kestrion-cli: %s\n", qPrintable(problem));
        }
        host.summarize(result, !in.singleTicker, store.fileName());
        record.stored = result.stored;
        record.failed = result.failed;
        exitCode = result.failed == 0 && result.completed ? kAllStored : kSomeFailed;
        QCoreApplication::exit(exitCode);
    });
    // Ctrl+C or a kill: the run stops and takes its temporary files with it
    // before the program ends by the same signal.
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::requested, &app, [&](int signalNumber) {
        run.cancel();
        host.finish();
        endBySignal(signalNumber);
    });
    shutdown.install();

    // The keys may sit in the desktop's secret store, which answers over
    // D-Bus. An optional key may be missing: the run goes without it, and a
    // fallback without the key it needs is left out.
    const QStringList chain = fallbackChain(settings);
    RunKeys keys;
    keys.read(in, chain, [&](DownloadRequest request, bool chosenKeyMissing) {
        if (chosenKeyMissing) {
            exitCode = fail(QStringLiteral("%1 needs an API key: set %2, or enter the key on the "
                                           "Sources page of Kestrion's options dialog")
                                .arg(settings.dataSource, quoteSourceEntry(settings).keyPlace.variable));
            QCoreApplication::exit(exitCode);
            return;
        }
        for (const QString& name : chain) {
            if (std::none_of(request.fallbacks.cbegin(), request.fallbacks.cend(),
                             [&name](const FallbackSource& f) { return f.storedText == name; }))
                std::fprintf(stderr, "kestrion-cli: %s has no API key (%s): it is not asked\n", qPrintable(name),
                             qPrintable(quoteSourceEntry(name).keyPlace.variable));
        }
        host.m_fallbacks = !request.fallbacks.empty();
        in = request;
        run.start(in);
        if (!run.isRunning())
            QCoreApplication::exit(exitCode);
    });
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    // Before the options: --source names the described services too.
    loadDescribedSources();
    keepFreedBuffersForReuse();
    RunRecord record;
    const int code = runCommand(app, record);
    if (record.automatic)
        appendRunsLog(record, code);
    return code;
}
