// Build-time tool: writes a ticker list file holding the given symbols.
#include "lists/ticker_list.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: kestrion-make-list FILE [SYMBOL...]\n");
        return 2;
    }
    const QString path = args.takeFirst();
    QString error;
    if (!kestrion::TickerList::create(path, nullptr, &error)) {
        std::fprintf(stderr, "kestrion-make-list: %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }
    kestrion::TickerList list;
    if (!list.open(path, &error) || list.appendAll(args) != args.size()) {
        std::fprintf(stderr, "kestrion-make-list: %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }
    return 0;
}
