#pragma once

#include "faults.h"
#include "http_message.h"
#include "price_model.h"
#include "quote_formats.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <deque>
#include <optional>

namespace kestrion::sim {

// Answers every path the simulator serves: the Yahoo history table, the
// Wall Street City query page and result files, the chart page, the
// browser's home and search pages, and the Yahoo Chart and Tiingo APIs.
class QuoteRoutes
{
public:
    static constexpr const char* kDefaultTiingoToken = "sim-tiingo-token";
    enum class Api { YahooChart, Tiingo };

    explicit QuoteRoutes(QString tiingoToken = QString::fromLatin1(kDefaultTiingoToken));

    HttpReply handle(const HttpRequest& request);

    // How many result files the query pages may name before the oldest are
    // forgotten.
    static constexpr size_t kMaxResults = 100000;

private:
    struct ResultJob
    {
        QString symbol;
        QDate from, to;
        BarPeriod period = BarPeriod::Daily;
        WscFormat format = WscFormat::Header7;
    };

    HttpReply yahooTable(const QueryParams& params);
    HttpReply wscQuery(const QueryParams& params);
    HttpReply wscResult(const QString& name);
    HttpReply chart(const QueryParams& params);
    // rawSymbol: the path segment, still percent-encoded.
    HttpReply yahooChart(const HttpRequest& request, const QByteArray& rawSymbol);
    HttpReply tiingo(const HttpRequest& request, const QByteArray& rawSymbol);
    // The answer a fault imposes on a request for symbol, if any. A SLOW_
    // fault is left to the caller, which trickles its normal answer.
    // counterKey: what FAIL<n>_ and the like count under.
    std::optional<HttpReply> faultReply(const QString& symbol, const QString& counterKey);
    // faultReply, plus the rate-limit, quota and HTML faults of the APIs.
    std::optional<HttpReply> apiFaultReply(Api api, const QString& symbol);
    QString newResultName() const;

    QString m_tiingoToken;
    FailureCounter m_failures;
    QHash<QString, ResultJob> m_results;
    std::deque<QString> m_resultOrder;
};

} // namespace kestrion::sim
