#pragma once

#include "sources/quote_source.h"
#include "sources/source_description.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace kestrion {

// What to ask a described service for in a run of one period.
struct DescribedInterval
{
    QString word; // for {interval}; empty when the service names no intervals
    bool foldDaily = true; // daily rows folded here; false: the service's own rows, kept as dated
};
// None when the service can give the period neither way: such a run must not start.
std::optional<DescribedInterval> describedInterval(const SourceDescription& description, HistoryPeriod period);

// A list symbol after the description's case, prefix and suffix rules, not yet encoded.
QString describedSymbol(const SourceDescription& description, const QString& symbol);

// The request for one symbol and range. hostOverride, when set
// ("http://127.0.0.1:8080"), replaces the address's scheme, host and port.
// A period the service cannot give asks as for daily rows.
HttpGet describedRequest(const SourceDescription& description, const QString& symbol, const DateRange& range,
                         HistoryPeriod period, const QString& apiKey, const QString& hostOverride = {});

// An address fit to print: the key, as sent or percent-encoded, is "***".
QString maskedAddress(const QString& url, const QString& apiKey);

// An answer of any HTTP status into the file's bytes or a failure: the
// description's error rules first, then the usual meaning of the status,
// then the rows (none readable: bad-data; none in the range: no-data).
TableResult describedTable(const SourceDescription& description, const QByteArray& body, int httpStatus,
                           const DateRange& range, HistoryPeriod period);

// A described service for one run. setup.apiKey must hold this service's
// key. The network side hands 2xx bodies to convert(); a failed exchange's
// body and status go to judgeAnswer() so the description's rules are heard.
class DescribedSource : public ConvertingSource
{
public:
    DescribedSource(const SourceSetup& setup, SourceDescription description, QString hostOverride = {});
    using ConvertingSource::convert;
    using ConvertingSource::dataRequest;
    QString name() const override { return m_description.name; }
    HttpGet dataRequest(const QString& symbol, const QByteArray& page, const DateRange& range) const override;
    TableResult convert(const QByteArray& body, const DateRange& range) const override;
    TableResult judgeAnswer(const QByteArray& body, int httpStatus) const;
    const SourceDescription& description() const { return m_description; }

private:
    const SourceDescription m_description;
    const QString m_hostOverride;
};

std::unique_ptr<QuoteSource> makeDescribedSource(const SourceSetup& setup, const SourceDescription& description,
                                                 const QString& hostOverride = {});

} // namespace kestrion
