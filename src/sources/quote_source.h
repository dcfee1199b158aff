#pragma once

#include "core/settings_record.h"
#include "sources/failure_reason.h"
#include "sources/quote_request.h"
#include "platform/http_fetch.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace kestrion {

// What a source needs to build its requests for one run.
struct SourceSetup
{
    Settings settings;
    ServiceConfig services;
    DateRange range; // the run's
    HistoryPeriod period = HistoryPeriod::Daily;
    QString downloadDir;
    QString apiKey; // Tiingo's; never shown, logged or put into an address
};

// One quote service: builds a ticker's request, judges the answer and turns
// a good answer into the data file's bytes. A run holds one for its whole
// length. Each service lives in a file of its own; the registry names them.
class QuoteSource
{
public:
    virtual ~QuoteSource() = default;

    // The name the user picked it by ("Yahoo Chart"), for status texts.
    virtual QString name() const = 0;
    // A two-stage service first fetches a page that names the data file.
    virtual std::optional<HttpGet> queryPage(const QString& symbol) const
    {
        Q_UNUSED(symbol)
        return std::nullopt;
    }
    // The request for the ticker's days: a service whose data file is the
    // table layout (writesPriceTable()) asks for exactly those; any other
    // asks for the run's range whatever range is given.
    virtual HttpGet dataRequest(const QString& symbol, const QByteArray& queryPage, const DateRange& range) const = 0;

    // The old services' data file is the body exactly as sent, judged by the
    // content test; the current ones are converted into the table layout.
    virtual bool storesBodyAsSent() const { return false; }
    // The data file is the table layout ("Date,Open,High,Low,Close,Volume,
    // Adj Close", newest first, LF), so a file on disk can be brought up to
    // date: Yahoo's body as sent, and every converting service's file.
    virtual bool writesPriceTable() const { return false; }
    // For a body that failed the content test: why, from its first bytes.
    virtual FailureReason judgeStoredBody(const QByteArray& start) const;
    // For the converting services: a 2xx answer to dataRequest(symbol, page,
    // range) into the file's bytes; rows outside range are dropped.
    virtual TableResult convert(const QByteArray& body, const DateRange& range) const
    {
        Q_UNUSED(body)
        Q_UNUSED(range)
        return {};
    }
    // A definite answer (not-found, unauthorized) ends the ticker at once.
    // The old services' error pages told nothing apart, so every failure
    // there is tried again.
    virtual bool trustsDefiniteAnswers() const { return true; }
};

// A service whose answer is converted into the table layout. It can be asked
// for any days; a service implements dataRequest() and convert().
class ConvertingSource : public QuoteSource
{
public:
    explicit ConvertingSource(const SourceSetup& setup);

    bool writesPriceTable() const override { return true; }

protected:
    const SourceSetup m_setup;
};

} // namespace kestrion
