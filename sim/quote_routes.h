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
// Wall Street City query page and result files, the chart page and the
// browser's home and search pages.
class QuoteRoutes
{
public:
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
    // The answer a fault imposes on a request for symbol, if any. A SLOW_
    // fault is left to the caller, which trickles its normal answer.
    std::optional<HttpReply> faultReply(const QString& symbol);
    QString newResultName() const;

    FailureCounter m_failures;
    QHash<QString, ResultJob> m_results;
    std::deque<QString> m_resultOrder;
};

} // namespace kestrion::sim
