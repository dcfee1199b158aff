// kestrion-quote-sim: the local quote service used by tests, benchmarks and
// demonstrations. See --help.

#include "help_text.h"
#include "http_server.h"
#include "quote_routes.h"
#include "request_log.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <optional>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kVersion = "1.0";
int g_signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so the server closes its sockets
// and the log file on the way out instead of dying mid-write.
bool installTerminationHandlers(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

// Many test clients at once need more descriptors than the usual soft limit.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

std::optional<int> intOption(const QString& text, int min, int max)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < min || n > max)
        return std::nullopt;
    return n;
}

// A key must fit in an "Authorization: Token KEY" header as it is.
bool isUsableToken(const QString& key)
{
    if (key.isEmpty() || key.size() > 200)
        return false;
    for (const QChar c : key) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F)
            return false;
    }
    return true;
}

int usageError(const QString& message)
{
    std::fprintf(stderr, "kestrion-quote-sim: %s\nTry 'kestrion-quote-sim --help'.\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrion-quote-sim"));
    QCoreApplication::setApplicationVersion(QLatin1String(kVersion));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption delayOption(QStringLiteral("delay-ms"), QString(), QStringLiteral("N"),
                                         QStringLiteral("0"));
    const QCommandLineOption logOption(QStringLiteral("log"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption tiingoTokenOption(QStringLiteral("tiingo-token"), QString(), QStringLiteral("KEY"),
                                               QLatin1String(kestrion::sim::QuoteRoutes::kDefaultTiingoToken));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions({portOption, delayOption, logOption, tiingoTokenOption, helpOption, versionOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(kestrion::sim::kHelpText, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("kestrion-quote-sim %s\n", kVersion);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    const auto port = intOption(parser.value(portOption), 0, 65535);
    if (!port)
        return usageError(QStringLiteral("--port takes a number from 0 to 65535"));
    const auto delay = intOption(parser.value(delayOption), 0, 600000);
    if (!delay)
        return usageError(QStringLiteral("--delay-ms takes a number from 0 to 600000"));
    const QString tiingoToken = parser.value(tiingoTokenOption);
    if (!isUsableToken(tiingoToken))
        return usageError(QStringLiteral("--tiingo-token takes a key of printable characters without spaces"));

    kestrion::sim::RequestLog log;
    if (parser.isSet(logOption) && !log.open(parser.value(logOption))) {
        std::fprintf(stderr, "kestrion-quote-sim: cannot open the log file %s: %s\n",
                     qPrintable(parser.value(logOption)), qPrintable(log.errorString()));
        return 1;
    }

    std::signal(SIGPIPE, SIG_IGN);
    raiseDescriptorLimit();
    if (!installTerminationHandlers(app))
        std::fprintf(stderr, "kestrion-quote-sim: cannot catch SIGTERM/SIGINT; they will end it abruptly\n");

    kestrion::sim::QuoteRoutes routes(tiingoToken);
    kestrion::sim::ServerOptions options;
    options.delayMs = *delay;
    kestrion::sim::HttpServer server(
        options, [&routes](const kestrion::sim::HttpRequest& r) { return routes.handle(r); },
        log.isOpen() ? &log : nullptr);
    if (!server.listen(static_cast<quint16>(*port))) {
        std::fprintf(stderr, "kestrion-quote-sim: cannot listen on 127.0.0.1:%d: %s\n", *port,
                     qPrintable(server.errorString()));
        return 1;
    }
    std::printf("kestrion-quote-sim listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    return app.exec();
}
