#pragma once

#include "tools/price_series.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace kestrion {

enum class ChartStyle { Candles, OhlcBars, CloseLine };

// Everything a chart shows, in pixels, without drawing it: the visible span
// of the time axis, the price and volume scales, the axis ticks, the bars
// merged per pixel column, the averages and the readout of a bar. The widget
// paints what this gives and forwards the user's zooming and panning.
//
// The time axis counts weekdays (calendar days when the series has weekend
// bars), so a weekend is no gap but a missing trading week is.
class ChartModel
{
public:
    static constexpr std::array<int, 3> kAveragePeriods{20, 50, 200};

    // Replaces the series and shows all of it.
    void setSeries(PriceSeries series);
    const PriceSeries& series() const { return m_series; }
    bool isEmpty() const { return m_series.bars.empty(); }

    // The whole chart's size in pixels; the plots sit inside it.
    void setSize(QSizeF size);
    QSizeF size() const { return m_size; }

    void setStyle(ChartStyle style) { m_style = style; }
    ChartStyle style() const { return m_style; }
    // Log scale needs positive prices; with any price at or below zero the
    // scale stays linear.
    void setLogScale(bool on) { m_log = on; }
    bool logScale() const { return m_log && m_minPrice > 0; }
    // Open, High, Low and Close scaled by Adj Close / Close. Only when the
    // series has an Adj Close column.
    void setAdjusted(bool on);
    bool adjusted() const { return m_adjusted && m_series.hasAdjClose; }
    void setAverageShown(int which, bool shown);
    bool averageShown(int which) const;

    // Zooming keeps the date under the pixel x in place; factor > 1 shows
    // fewer bars. The view never gets narrower than a few bars nor wider
    // than the whole series, and never leaves the series.
    void zoom(double factor, double anchorX);
    void zoomIn() { zoom(1.25, m_plot.center().x()); }
    void zoomOut() { zoom(0.8, m_plot.center().x()); }
    // Moves the view by pixels (positive: towards later dates).
    void panPixels(double dx);
    // Moves the view by a tenth of its width (steps > 0: later dates).
    void panSteps(int steps);
    void showFirst();
    void showLast();
    void fitAll();

    // Axis positions of the view's edges (see unitOf()).
    double viewStart() const { return m_viewStart; }
    double viewEnd() const { return m_viewEnd; }
    // The bars inside the view, as indexes [first, last]; first > last when none.
    std::pair<int, int> visibleBars() const;
    QDate firstVisibleDate() const;
    QDate lastVisibleDate() const;

    // Layout: header strip (title and readout), price plot, volume plot, and
    // the axes beside and below them.
    QRectF priceArea() const { return m_plot; }
    QRectF volumeArea() const { return m_volume; }
    QRectF headerArea() const { return m_header; }

    // The time axis position of a date, and the pixel of an axis position.
    double unitOf(QDate date) const;
    QDate dateOfUnit(double unit) const;
    double xOfUnit(double unit) const;
    double unitOfX(double x) const;
    double xOfBar(int index) const { return xOfUnit(m_units[size_t(index)]); }
    // Pixels per bar slot: the width a candle may take.
    double slotWidth() const;

    double yOfPrice(double price) const;
    double priceOfY(double y) const;
    double yOfVolume(double volume) const;
    double priceLow() const { return m_low; }
    double priceHigh() const { return m_high; }

    // The values drawn for a bar (adjusted when that is on).
    double shownOpen(int i) const;
    double shownHigh(int i) const;
    double shownLow(int i) const;
    double shownClose(int i) const;

    // The visible bars, one column per bar, or merged into one per pixel
    // column when bars are narrower than two pixels: first open, highest
    // high, lowest low, last close, summed volume.
    struct Column
    {
        double x = 0; // centre
        double open = 0, high = 0, low = 0, close = 0;
        double volume = 0;
        int first = 0, last = 0; // bar indexes merged
        bool gapBefore = false; // a missing stretch lies between this and the column before
    };
    std::vector<Column> columns() const;

    // Average of the last kAveragePeriods[which] shown closes at each bar;
    // not a number until that many bars are there.
    const std::vector<double>& average(int which) const { return m_averages[size_t(which)]; }

    struct Tick
    {
        double pos = 0; // x for dates, y for prices
        QString label;
    };
    // Labels days, months or years, whichever leaves room for the text.
    std::vector<Tick> dateTicks() const;
    std::vector<Tick> priceTicks() const;
    // The largest volume in view, for the volume axis label.
    double volumeHigh() const { return m_volumeHigh; }

    // The bar whose slot holds pixel x, when x is inside the plots.
    std::optional<int> barAt(double x) const;
    // "2024-01-02  Open 1  High 2  Low 0.5  Close 1.5  Volume 100  Adj Close 1.5",
    // the values as the file holds them.
    QString readout(int index) const;
    // "MSFT  Daily  2024-01-02 to 2024-12-31"; empty without a series.
    QString title() const;

    // Whether consecutive bars i-1 and i leave a missing stretch between them.
    bool gapBefore(int i) const;

private:
    void layout();
    void clampView();
    void rescale();
    void computeAverages();

    PriceSeries m_series;
    std::vector<double> m_units; // axis position of each bar
    bool m_weekdayAxis = true;
    double m_slotUnits = 1; // typical distance between bars, in units
    double m_minPrice = 0;

    QSizeF m_size{800, 500};
    QRectF m_header, m_plot, m_volume;
    ChartStyle m_style = ChartStyle::Candles;
    bool m_log = false;
    bool m_adjusted = false;
    std::array<bool, 3> m_averageOn{false, false, false};
    std::array<std::vector<double>, 3> m_averages;

    double m_viewStart = 0, m_viewEnd = 1;
    double m_low = 0, m_high = 1, m_volumeHigh = 1;
};

} // namespace kestrion
