#pragma once

#include "tools/chart_model.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QWidget>

#include <optional>

class QPainter;

namespace kestrion {

// The chart's colours, for the window and for whoever checks a picture.
struct ChartColours
{
    static QColor up() { return QColor(22, 150, 80); }
    static QColor down() { return QColor(210, 50, 45); }
    static QColor background() { return QColor(255, 255, 255); }
    static QColor average(int which);
};

// Draws the model on any painter: header, plots, axes and, when given, the
// crosshair at a point. Only the visible bars are drawn, merged per pixel
// column when they are narrower than that.
void paintChart(QPainter& painter, const ChartModel& model, std::optional<QPointF> crosshair = std::nullopt);

// The chart alone, at the model's size, as a picture (no crosshair).
QImage renderChart(const ChartModel& model);

// The chart area of the chart window: paints the model and turns the mouse
// and keys into zooming and panning. Wheel: zoom at the cursor. Drag: pan.
// Keys: + and - zoom, Left and Right pan, Home and End go to the first and
// last bar.
class ChartView : public QWidget
{
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);

    ChartModel& model() { return m_model; }
    const ChartModel& model() const { return m_model; }
    // Call after changing the model from outside: repaints and tells.
    void modelChanged();

    // The bar under the crosshair, if the mouse is over one.
    std::optional<int> crosshairBar() const { return m_crosshairBar; }
    // A message drawn in place of the chart (while loading, or when empty).
    void setPlaceholder(const QString& text);

Q_SIGNALS:
    // The crosshair moved onto a bar (its readout) or off any ("").
    void readoutChanged(const QString& text);
    // Zoom or pan changed the visible dates.
    void viewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateCrosshair(std::optional<QPointF> at);
    void viewMoved();

    ChartModel m_model;
    std::optional<QPointF> m_crosshair;
    std::optional<int> m_crosshairBar;
    std::optional<QPointF> m_dragFrom;
    QString m_placeholder;
};

} // namespace kestrion
