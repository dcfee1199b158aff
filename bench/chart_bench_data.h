#pragma once

// Shared by the chart benchmarks: a repeatable price history and the
// process's resident memory.

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kestrion::bench {

// `rows` weekday bars ending 2024-12-31, newest first, in the table layout.
inline QByteArray priceTable(int rows)
{
    std::vector<QDate> dates;
    for (QDate d(2024, 12, 31); int(dates.size()) < rows; d = d.addDays(-1)) {
        if (d.dayOfWeek() <= 5)
            dates.push_back(d);
    }
    QByteArray out("Date,Open,High,Low,Close,Volume,Adj Close\n");
    // A walk from the oldest bar on, written newest first.
    double price = 50;
    std::vector<QByteArray> lines(static_cast<size_t>(rows));
    for (int i = rows - 1; i >= 0; --i) {
        const double open = price;
        price *= 1 + 0.02 * std::sin(i * 0.37) * std::cos(i * 0.011);
        const double close = price;
        const double high = std::max(open, close) * 1.01, low = std::min(open, close) * 0.99;
        lines[size_t(i)] = dates[size_t(i)].toString(Qt::ISODate).toLatin1() + ',' + QByteArray::number(open, 'f', 2)
            + ',' + QByteArray::number(high, 'f', 2) + ',' + QByteArray::number(low, 'f', 2) + ','
            + QByteArray::number(close, 'f', 2) + ',' + QByteArray::number(100000 + (i * 7919) % 50000) + ','
            + QByteArray::number(close * 0.98, 'f', 2) + '\n';
    }
    for (const QByteArray& l : lines)
        out += l;
    return out;
}

// Resident set size in kilobytes (Linux), 0 when unknown.
inline long residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// The command line both benchmarks take (--rows N, --steps N) and the price
// file they chart, written into dir. Empty path when it cannot be written.
struct Setup
{
    int rows = 10000;
    int steps = 0;
    QString path;
};
inline Setup setUp(const QStringList& args, const QTemporaryDir& dir, int defaultSteps, int minSteps)
{
    Setup s;
    s.steps = defaultSteps;
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--rows"))
            s.rows = std::max(10, args.at(i + 1).toInt());
        if (args.at(i) == QLatin1String("--steps"))
            s.steps = std::max(minSteps, args.at(i + 1).toInt());
    }
    const QString path = dir.filePath(QStringLiteral("BENCH.csv"));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(priceTable(s.rows)) >= 0 && f.flush())
        s.path = path;
    return s;
}

} // namespace kestrion::bench
