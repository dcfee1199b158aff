#pragma once

#include <QDate>
#include <QString>

#include <vector>

namespace kestrion::sim {

enum class BarPeriod { Daily, Weekly, Monthly };

// One bar; prices are whole cents so that every value has exactly two
// decimals and aggregation never rounds.
struct Bar
{
    QDate date;
    qint64 open = 0;
    qint64 high = 0;
    qint64 low = 0;
    qint64 close = 0;
    qint64 volume = 0;
};

// Made-up but repeatable quotes: a symbol always gets the same bar for the
// same date, whatever range it is asked for, so tests can compare answers of
// different requests. Only weekdays trade; there are no holidays.
class PriceModel
{
public:
    explicit PriceModel(const QString& symbol);

    // Daily bars of the weekdays in [from, to], oldest first.
    std::vector<Bar> daily(const QDate& from, const QDate& to) const;
    // Daily, weekly or monthly bars of [from, to], oldest first. A weekly or
    // monthly bar covers only the days inside the range and carries the
    // date of its first trading day there.
    std::vector<Bar> bars(const QDate& from, const QDate& to, BarPeriod period) const;

    Bar dailyBar(const QDate& day) const;

    // The dates this model serves; requests are clipped to them.
    static QDate firstDate() { return QDate(1900, 1, 1); }
    static QDate lastDate() { return QDate(2099, 12, 31); }

private:
    double closeAt(qint64 day) const;
    Bar makeBar(const QDate& date, double close, double previousClose) const;
    static qint64 previousTradingDay(qint64 julianDay);

    quint64 m_key;
    double m_basePrice;
    double m_baseVolume;
};

std::vector<Bar> aggregate(const std::vector<Bar>& daily, BarPeriod period);

} // namespace kestrion::sim
