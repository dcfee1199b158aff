#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>

namespace kestrion {

// What the options of `kestrion` ask for. Qt's own options (-platform,
// -style, ...) are left to Qt.
struct ChartCommand
{
    bool help = false;
    QString chartPath; // --chart FILE: the chart window instead of the main window
    QString exportPath; // --export FILE: draw the chart into a picture, no window
    QByteArray exportFormat; // the picture's format, from exportPath's extension ("png", "jpeg", "bmp")
    QSize size{1200, 700};
    QList<int> averages; // --sma 20,50,200
    bool adjusted = false;
    bool logScale = false;
    QString error; // a wrong option; the program says it and exits with 2
};

ChartCommand parseChartCommand(const QStringList& arguments);

// The picture format a file name's extension asks for, for QImageWriter:
// .png, .jpg/.jpeg and .bmp, in any case; empty for any other extension.
QByteArray chartPictureFormat(const QString& path);

// The text `kestrion --help` prints.
QString chartCommandHelp();

} // namespace kestrion
