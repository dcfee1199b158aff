// kestrion-http-floor: the least any Qt program must spend on a download run,
// as a yardstick for kestrion-cli's figures. Fetches the addresses of a file
// (one per line) with QNetworkAccessManager, up to --jobs at a time, and
// drops the bodies. With "ADDRESS<TAB>FILE" lines and --rewrite, each answer
// also rewrites FILE the way an update of a newest-first table must at the
// least: its first line, one new row, the rest of the old bytes, into a new
// file that is synced and renamed over it, on up to four threads. Neither
// answers nor old rows are parsed or checked. Prints the count, body bytes
// and seconds.
//   kestrion-http-floor [--jobs N] [--header "NAME: VALUE"] [--rewrite] ADDRESSES
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

struct Address
{
    QUrl url;
    QString file;
};

// Returns false on any failure, which the caller reports.
bool rewrite(const QString& path)
{
    QFile old(path);
    if (!old.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = old.readAll();
    const qsizetype firstLine = bytes.indexOf('\n') + 1;
    if (firstLine <= 0)
        return false;
    const QByteArray staged = QFile::encodeName(path + QStringLiteral(".floor"));
    const int fd = ::open(staged.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    static const char row[] = "2099-12-31,100.00,101.00,99.00,100.50,100.50,1234567\n";
    bool ok = ::write(fd, bytes.constData(), size_t(firstLine)) == firstLine
        && ::write(fd, row, sizeof row - 1) == ssize_t(sizeof row - 1)
        && ::write(fd, bytes.constData() + firstLine, size_t(bytes.size() - firstLine)) == bytes.size() - firstLine
        && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok && ::rename(staged.constData(), QFile::encodeName(path).constData()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption(
        {QStringLiteral("jobs"), QStringLiteral("Requests in flight."), QStringLiteral("N"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("header"), QStringLiteral("A header field every request sends."),
                      QStringLiteral("NAME: VALUE")});
    parser.addOption({QStringLiteral("rewrite"), QStringLiteral("Rewrite each line's file after its answer.")});
    parser.addPositionalArgument(QStringLiteral("addresses"), QStringLiteral("One address per line."));
    parser.process(app);
    const int jobs = std::max(1, parser.value(QStringLiteral("jobs")).toInt());
    const bool rewrites = parser.isSet(QStringLiteral("rewrite"));
    const QString header = parser.value(QStringLiteral("header"));
    const QByteArray headerName = header.section(QLatin1Char(':'), 0, 0).trimmed().toLatin1();
    const QByteArray headerValue = header.section(QLatin1Char(':'), 1).trimmed().toLatin1();
    QFile list(parser.positionalArguments().value(0));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "kestrion-http-floor: cannot read the addresses\n");
        return 2;
    }
    std::vector<Address> addresses;
    while (!list.atEnd()) {
        const QList<QByteArray> fields = list.readLine().trimmed().split('\t');
        if (!fields[0].isEmpty())
            addresses.push_back({QUrl(QString::fromUtf8(fields[0])), QString::fromUtf8(fields.value(1))});
    }

    QThreadPool writers;
    writers.setMaxThreadCount(4);
    QNetworkAccessManager network;
    size_t next = 0, answered = 0;
    qint64 bytes = 0;
    std::atomic<int> failures = 0;
    QElapsedTimer clock;
    clock.start();
    std::function<void()> ask = [&] {
        if (next == addresses.size())
            return;
        const Address& a = addresses[next++];
        QNetworkRequest request(a.url);
        request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Mozilla/5.0 (X11; Linux x86_64)"));
        if (!headerName.isEmpty())
            request.setRawHeader(headerName, headerValue);
        QNetworkReply* reply = network.get(request);
        QObject::connect(reply, &QNetworkReply::finished, &app, [&, reply, file = a.file] {
            bytes += reply->readAll().size();
            if (reply->error() != QNetworkReply::NoError)
                ++failures;
            reply->deleteLater();
            if (rewrites)
                writers.start([&failures, file] {
                    if (!rewrite(file))
                        ++failures;
                });
            if (++answered == addresses.size())
                app.quit();
            ask();
        });
    };
    for (int i = 0; i < jobs; ++i)
        ask();
    if (!addresses.empty())
        app.exec();
    writers.waitForDone();
    std::printf("%zu addresses, %lld body bytes, %d failures, %.3f s\n", addresses.size(), (long long)bytes,
                failures.load(), double(clock.nsecsElapsed()) / 1e9);
    return failures ? 1 : 0;
}
