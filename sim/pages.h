#pragma once

#include "price_model.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <vector>

namespace kestrion::sim {

QByteArray htmlEscape(const QString& text);

// An error page as the quote services send them: the body starts "<html>".
QByteArray errorPage(const QString& title, const QString& message);

QByteArray homePage();
QByteArray searchPage();

struct ChartRequest
{
    QString symbol; // as it goes into the title, upper case
    QString time, freq, country;
};
// bars empty: the page says that there is no chart for the symbol.
QByteArray chartPage(const ChartRequest& request, const std::vector<Bar>& bars, const QString& notice);

struct WscResult
{
    QString name; // the 11 characters of /dynamic/NAME.txt
    QString symbol;
    QDate from, to;
    BarPeriod period = BarPeriod::Daily;
    QString formatName;
};
// The query page that names the result file. The only whole word "dynamic"
// in it is the one of the link, which clients search for.
QByteArray wscResultPage(const WscResult& result);
// The query page when there is nothing to fetch: no link at all.
QByteArray wscMessagePage(const QString& message);

QString periodName(BarPeriod period);

} // namespace kestrion::sim
