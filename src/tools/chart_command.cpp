#include "tools/chart_command.h"

#include "tools/chart_model.h"

#include <QFileInfo>

#include <algorithm>

namespace kestrion {

QByteArray chartPictureFormat(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return "png";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "jpeg";
    if (suffix == QLatin1String("bmp"))
        return "bmp";
    return {};
}

ChartCommand parseChartCommand(const QStringList& args)
{
    ChartCommand c;
    bool exporting = false;
    auto value = [&](qsizetype& i) -> QString {
        if (i + 1 >= args.size()) {
            c.error = QStringLiteral("%1 needs a value").arg(args.at(i));
            return {};
        }
        return args.at(++i);
    };
    for (qsizetype i = 1; i < args.size() && c.error.isEmpty(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.help = true;
        } else if (a == QLatin1String("--chart")) {
            c.chartPath = value(i);
        } else if (a == QLatin1String("--export")) {
            exporting = true;
            c.exportPath = value(i);
            if (c.error.isEmpty() && c.exportPath.isEmpty())
                c.error = QStringLiteral("--export needs a file name");
            c.exportFormat = chartPictureFormat(c.exportPath);
            if (c.error.isEmpty() && c.exportFormat.isEmpty())
                c.error = QStringLiteral("--export writes .png, .jpg (or .jpeg) and .bmp pictures, not \"%1\"")
                              .arg(c.exportPath);
        } else if (a == QLatin1String("--size")) {
            const QStringList wh = value(i).split(QLatin1Char('x'));
            bool okW = false, okH = false;
            const int w = wh.size() == 2 ? wh.at(0).toInt(&okW) : 0;
            const int h = wh.size() == 2 ? wh.at(1).toInt(&okH) : 0;
            if (c.error.isEmpty() && (!okW || !okH || w < 320 || h < 220 || w > 8000 || h > 8000))
                c.error = QStringLiteral("--size takes WIDTHxHEIGHT, each from 320x220 to 8000x8000");
            else
                c.size = QSize(w, h);
        } else if (a == QLatin1String("--sma")) {
            for (const QString& p : value(i).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                const int n = p.trimmed().toInt();
                if (std::find(ChartModel::kAveragePeriods.begin(), ChartModel::kAveragePeriods.end(), n)
                    == ChartModel::kAveragePeriods.end()) {
                    c.error = QStringLiteral("--sma takes 20, 50 and 200, not \"%1\"").arg(p);
                    break;
                }
                c.averages << n;
            }
        } else if (a == QLatin1String("--adjusted")) {
            c.adjusted = true;
        } else if (a == QLatin1String("--log")) {
            c.logScale = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            c.error = QStringLiteral("unknown option %1").arg(a);
        }
        // Anything else (single-dash Qt options and their values) is Qt's.
    }
    if (c.error.isEmpty() && exporting && c.chartPath.isEmpty())
        c.error = QStringLiteral("--export needs --chart FILE");
    return c;
}

QString chartCommandHelp()
{
    return QStringLiteral(
        "Usage: kestrion [--chart FILE [--export PICTURE] [--size WxH] [--sma LIST] [--adjusted] [--log]]\n"
        "       kestrion --help\n"
        "\n"
        "Without options Kestrion opens its main window.\n"
        "\n"
        "Options:\n"
        "  --chart FILE    Open a chart window for FILE only: a price file in the\n"
        "                  table layout (Date,Open,High,Low,Close,Volume,Adj Close),\n"
        "                  a Wall Street City quote file, or a MetaStock folder (the\n"
        "                  folder or its MASTER file).\n"
        "  --export PICTURE\n"
        "                  With --chart: draw the chart into the picture file and\n"
        "                  exit, without a window. Its extension picks the format:\n"
        "                  .png, .jpg (or .jpeg) or .bmp.\n"
        "  --size WxH      The picture's size for --export (default 1200x700).\n"
        "  --sma LIST      Moving averages to draw, of 20, 50 and 200 bars (\"20,50\").\n"
        "  --adjusted      Scale Open, High and Low by Adj Close / Close.\n"
        "  --log           Log price scale.\n"
        "  --help          Show this text and exit.\n"
        "\n"
        "Exit status: 0 on success, 1 when the chart could not be read or saved,\n"
        "2 for a wrong option.\n");
}

} // namespace kestrion
