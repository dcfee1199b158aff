#include "tools/ui/chart_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <cmath>

namespace kestrion {

namespace {

QColor lighter(const QColor& c)
{
    return QColor::fromRgbF(c.redF() * 0.45f + 0.55f, c.greenF() * 0.45f + 0.55f, c.blueF() * 0.45f + 0.55f);
}

void drawPolyline(QPainter& p, const ChartModel& m, const std::vector<ChartModel::Column>& columns,
                  const std::vector<double>* average)
{
    QPolygonF run;
    run.reserve(qsizetype(columns.size()));
    auto flush = [&] {
        if (run.size() > 1)
            p.drawPolyline(run);
        run.clear();
    };
    for (const ChartModel::Column& c : columns) {
        const double v = average ? (*average)[size_t(c.last)] : c.close;
        if (c.gapBefore || std::isnan(v))
            flush();
        if (!std::isnan(v))
            run << QPointF(c.x, m.yOfPrice(v));
    }
    flush();
}

} // namespace

QColor ChartColours::average(int which)
{
    switch (which) {
    case 0:
        return QColor(240, 140, 0);
    case 1:
        return QColor(40, 100, 220);
    default:
        return QColor(140, 60, 170);
    }
}

void paintChart(QPainter& p, const ChartModel& m, std::optional<QPointF> crosshair)
{
    const QRectF all(QPointF(0, 0), m.size());
    p.fillRect(all, ChartColours::background());
    if (m.isEmpty())
        return;
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRectF plot = m.priceArea();
    const QRectF vol = m.volumeArea();
    const QFontMetricsF fm(p.font());

    // Grid and axes.
    const QColor grid(232, 232, 232);
    const QColor axisText(90, 90, 90);
    const auto priceTicks = m.priceTicks();
    const auto dateTicks = m.dateTicks();
    p.setPen(grid);
    for (const auto& t : priceTicks)
        p.drawLine(QLineF(plot.left(), t.pos, plot.right(), t.pos));
    for (const auto& t : dateTicks) {
        p.drawLine(QLineF(t.pos, plot.top(), t.pos, plot.bottom()));
        p.drawLine(QLineF(t.pos, vol.top(), t.pos, vol.bottom()));
    }
    p.setPen(QColor(170, 170, 170));
    p.drawRect(plot);
    p.drawRect(vol);
    p.setPen(axisText);
    for (const auto& t : priceTicks)
        p.drawText(QPointF(plot.right() + 6, t.pos + fm.ascent() / 2 - 1), t.label);
    p.drawText(QPointF(vol.right() + 6, vol.top() + fm.ascent()), QString::number(qint64(m.volumeHigh())));
    for (const auto& t : dateTicks) {
        const double w = fm.horizontalAdvance(t.label);
        p.drawText(QPointF(std::max(plot.left(), t.pos - w / 2), vol.bottom() + fm.ascent() + 3), t.label);
    }

    // Bars, clipped to the plots so a half-visible candle stays inside.
    const auto columns = m.columns();
    const double slot = m.slotWidth();
    const double body = std::max(1.0, std::floor(slot * 0.7));
    const QColor up = ChartColours::up(), down = ChartColours::down();
    p.save();
    p.setClipRect(plot);
    if (m.style() == ChartStyle::CloseLine) {
        p.setRenderHint(QPainter::Antialiasing, slot >= 3);
        p.setPen(QPen(QColor(30, 30, 30), slot >= 3 ? 1.5 : 1.0));
        drawPolyline(p, m, columns, nullptr);
    } else {
        QVector<QLineF> upLines, downLines;
        QVector<QRectF> upBodies, downBodies;
        upLines.reserve(qsizetype(columns.size() * 3));
        downLines.reserve(qsizetype(columns.size() * 3));
        const bool candles = m.style() == ChartStyle::Candles;
        const double tick = std::max(1.0, std::floor(slot * 0.35));
        for (const auto& c : columns) {
            const bool isUp = c.close >= c.open;
            QVector<QLineF>& lines = isUp ? upLines : downLines;
            const double yo = m.yOfPrice(c.open), yc = m.yOfPrice(c.close);
            const double x = std::floor(c.x) + 0.5;
            lines << QLineF(x, m.yOfPrice(c.high), x, m.yOfPrice(c.low));
            if (candles) {
                if (body >= 3) {
                    const double top = std::min(yo, yc), height = std::max(1.0, std::abs(yo - yc));
                    (isUp ? upBodies : downBodies)
                        << QRectF(std::floor(c.x - body / 2), std::floor(top), body, std::ceil(height));
                }
            } else if (slot >= 3) {
                lines << QLineF(x - tick, yo, x, yo) << QLineF(x, yc, x + tick, yc);
            }
        }
        p.setPen(up);
        p.drawLines(upLines);
        p.setPen(down);
        p.drawLines(downLines);
        p.setPen(Qt::NoPen);
        p.setBrush(up);
        p.drawRects(upBodies);
        p.setBrush(down);
        p.drawRects(downBodies);
        p.setBrush(Qt::NoBrush);
    }
    // Smoothing costs more than the rest of a dense chart together and shows
    // only when the line has room between its points.
    const bool smooth = slot >= 3;
    p.setRenderHint(QPainter::Antialiasing, smooth);
    for (int a = 0; a < int(ChartModel::kAveragePeriods.size()); ++a) {
        if (!m.averageShown(a))
            continue;
        p.setPen(QPen(ChartColours::average(a), smooth ? 1.3 : 1.0));
        drawPolyline(p, m, columns, &m.average(a));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.restore();

    // Volume.
    p.save();
    p.setClipRect(vol);
    QVector<QRectF> upVolume, downVolume;
    for (const auto& c : columns) {
        const double top = m.yOfVolume(c.volume);
        (c.close >= c.open ? upVolume : downVolume)
            << QRectF(std::floor(c.x - body / 2), top, body, vol.bottom() - top);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(lighter(up));
    p.drawRects(upVolume);
    p.setBrush(lighter(down));
    p.drawRects(downVolume);
    p.restore();

    // Header: the title, then the readout of the bar under the crosshair or
    // of the last bar in view.
    // -1: the crosshair is over no bar.
    const int bar = crosshair ? m.barAt(crosshair->x()).value_or(-1) : -1;
    const auto [first, last] = m.visibleBars();
    QFont bold = p.font();
    bold.setBold(true);
    p.save();
    p.setFont(bold);
    p.setPen(QColor(20, 20, 20));
    p.drawText(QPointF(plot.left(), 4 + fm.ascent()),
               m.title() + (m.adjusted() ? QStringLiteral("  (adjusted)") : QString()));
    p.restore();
    p.setPen(axisText);
    const int shown = bar >= 0 ? bar : last;
    if (shown >= 0 && shown >= first)
        p.drawText(QPointF(plot.left(), 8 + fm.ascent() + fm.height()), m.readout(shown));

    // Averages' legend at the right of the header.
    double lx = plot.right();
    for (int a = int(ChartModel::kAveragePeriods.size()) - 1; a >= 0; --a) {
        if (!m.averageShown(a))
            continue;
        const QString text = QStringLiteral("SMA %1").arg(ChartModel::kAveragePeriods[size_t(a)]);
        lx -= fm.horizontalAdvance(text) + 10;
        p.setPen(ChartColours::average(a));
        p.drawText(QPointF(lx, 4 + fm.ascent()), text);
    }

    if (crosshair && (plot.contains(*crosshair) || vol.contains(*crosshair))) {
        p.setPen(QPen(QColor(100, 100, 100), 1, Qt::DashLine));
        const double x = bar >= 0 ? std::floor(m.xOfBar(bar)) + 0.5 : crosshair->x();
        p.drawLine(QLineF(x, plot.top(), x, plot.bottom()));
        p.drawLine(QLineF(x, vol.top(), x, vol.bottom()));
        if (plot.contains(*crosshair)) {
            p.drawLine(QLineF(plot.left(), crosshair->y(), plot.right(), crosshair->y()));
            const QString price = QString::fromLatin1(priceText(m.priceOfY(crosshair->y())));
            const QRectF box(plot.right() + 1, crosshair->y() - fm.height() / 2, fm.horizontalAdvance(price) + 10,
                             fm.height());
            p.fillRect(box, QColor(60, 60, 60));
            p.setPen(Qt::white);
            p.drawText(box.adjusted(5, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, price);
        }
    }
}

QImage renderChart(const ChartModel& model)
{
    QImage image(model.size().toSize(), QImage::Format_RGB32);
    QPainter p(&image);
    paintChart(p, model);
    return image;
}

ChartView::ChartView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("chartView"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 220);
    setCursor(Qt::CrossCursor);
}

void ChartView::modelChanged()
{
    updateCrosshair(m_crosshair);
    update();
}

void ChartView::setPlaceholder(const QString& text)
{
    m_placeholder = text;
    update();
}

void ChartView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!m_placeholder.isEmpty() || m_model.isEmpty()) {
        p.fillRect(rect(), ChartColours::background());
        p.setPen(QColor(90, 90, 90));
        p.drawText(rect(), Qt::AlignCenter, m_placeholder);
        return;
    }
    paintChart(p, m_model, m_crosshair);
}

void ChartView::resizeEvent(QResizeEvent*)
{
    m_model.setSize(size());
}

void ChartView::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    m_model.zoom(std::pow(1.25, steps), event->position().x());
    viewMoved();
    event->accept();
}

void ChartView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragFrom = event->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void ChartView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragFrom && (event->buttons() & Qt::LeftButton)) {
        // The chart follows the hand: dragging right brings earlier dates in.
        m_model.panPixels(m_dragFrom->x() - event->position().x());
        m_dragFrom = event->position();
        m_crosshair = event->position();
        viewMoved();
        return;
    }
    updateCrosshair(event->position());
    update();
}

void ChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragFrom.reset();
        setCursor(Qt::CrossCursor);
    }
}

void ChartView::leaveEvent(QEvent*)
{
    updateCrosshair(std::nullopt);
    update();
}

void ChartView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_model.zoomIn();
        break;
    case Qt::Key_Minus:
        m_model.zoomOut();
        break;
    case Qt::Key_Left:
        m_model.panSteps(-1);
        break;
    case Qt::Key_Right:
        m_model.panSteps(1);
        break;
    case Qt::Key_Home:
        m_model.showFirst();
        break;
    case Qt::Key_End:
        m_model.showLast();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    viewMoved();
}

void ChartView::updateCrosshair(std::optional<QPointF> at)
{
    m_crosshair = at;
    const std::optional<int> bar = at ? m_model.barAt(at->x()) : std::nullopt;
    if (bar == m_crosshairBar)
        return;
    m_crosshairBar = bar;
    Q_EMIT readoutChanged(bar ? m_model.readout(*bar) : QString());
}

void ChartView::viewMoved()
{
    updateCrosshair(m_crosshair);
    update();
    Q_EMIT viewChanged();
}

} // namespace kestrion
