#include "programs/view/track_panel.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
// Pictures back along the track that the heading is taken over: far enough
// that a few metres of noise in the position do not swing it.
constexpr size_t kHeadingSpan = 12;

QString Distance(double metres) {
    return metres >= 1000 ? QString("%1 km").arg(metres / 1000) : QString("%1 m").arg(metres);
}
}  // namespace

TrackPanel::TrackPanel(QWidget* parent) : QWidget(parent) {
    setMinimumWidth(240);
    setCursor(Qt::CrossCursor);
}

void TrackPanel::SetTrack(std::vector<TrackPoint> points) {
    points_ = std::move(points);
    update();
}

void TrackPanel::SetCurrent(int64_t number) {
    current_ = number;
    update();
}

void TrackPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(20, 24, 28));
    painter.setRenderHint(QPainter::Antialiasing);
    const TrackMap map = Map();
    if (map.Empty()) {
        painter.setPen(QColor(160, 160, 160));
        painter.drawText(rect(), Qt::AlignCenter, "no position in the telemetry");
        return;
    }
    // Points up to the picture shown, by number; the track is in show order.
    const size_t flown = static_cast<size_t>(
        std::upper_bound(points_.begin(), points_.end(), current_,
                         [](int64_t n, const TrackPoint& p) { return n < p.number; }) -
        points_.begin());
    QPainterPath ahead, behind;
    for (size_t i = 0; i < points_.size(); ++i) {
        const QPointF at(map.X(points_[i].longitude), map.Y(points_[i].latitude));
        QPainterPath& path = i < flown ? behind : ahead;
        if (path.elementCount() == 0) {
            path.moveTo(i == flown && i > 0 ? QPointF(map.X(points_[i - 1].longitude), map.Y(points_[i - 1].latitude)) : at);
        }
        path.lineTo(at);
    }
    painter.setPen(QPen(QColor(110, 110, 120), 1.5));
    painter.drawPath(ahead);
    painter.setPen(QPen(QColor(60, 200, 255), 2.5));
    painter.drawPath(behind);
    const QPointF start(map.X(points_.front().longitude), map.Y(points_.front().latitude));
    const QPointF end(map.X(points_.back().longitude), map.Y(points_.back().latitude));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(80, 220, 80));
    painter.drawEllipse(start, 4, 4);
    painter.setBrush(QColor(230, 80, 80));
    painter.drawEllipse(end, 4, 4);
    if (flown > 0) DrawAircraft(painter, map, flown - 1);
    DrawScaleBar(painter, map);
    DrawNorth(painter);
}

// The heading is the direction flown over the last few pictures; the
// telemetry's azimuth is the camera's, not the aircraft's.
void TrackPanel::DrawAircraft(QPainter& painter, const TrackMap& map, size_t at) const {
    const TrackPoint& p = points_[at];
    const QPointF here(map.X(p.longitude), map.Y(p.latitude));
    const TrackPoint& before = points_[at >= kHeadingSpan ? at - kHeadingSpan : 0];
    const QPointF back(map.X(before.longitude), map.Y(before.latitude));
    const double dx = here.x() - back.x(), dy = here.y() - back.y();
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(QColor(255, 200, 0));
    if (std::hypot(dx, dy) < 1) {
        painter.drawEllipse(here, 6, 6);
        return;
    }
    const double angle = std::atan2(dy, dx);
    QPolygonF arrow;
    for (double a : {0.0, 2.5, -2.5}) {
        const double r = a == 0.0 ? 12 : 8;
        arrow << QPointF(here.x() + r * std::cos(angle + a), here.y() + r * std::sin(angle + a));
    }
    painter.drawPolygon(arrow);
}

void TrackPanel::DrawScaleBar(QPainter& painter, const TrackMap& map) const {
    const double metres = map.ScaleBarMetres(width() / 3.0);
    if (metres <= 0) return;
    const double pixels = metres / map.MetresPerPixel();
    const QPointF left(kMargin, height() - 10);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(left, left + QPointF(pixels, 0));
    painter.drawLine(left, left + QPointF(0, -5));
    painter.drawLine(left + QPointF(pixels, 0), left + QPointF(pixels, -5));
    painter.drawText(QPointF(left.x() + pixels + 6, left.y()), Distance(metres));
}

void TrackPanel::DrawNorth(QPainter& painter) const {
    const QPointF tip(width() - 18, 10);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(tip, tip + QPointF(0, 18));
    painter.drawLine(tip, tip + QPointF(-5, 7));
    painter.drawLine(tip, tip + QPointF(5, 7));
    painter.drawText(QPointF(tip.x() - 4, tip.y() + 32), "N");
}

void TrackPanel::mousePressEvent(QMouseEvent* event) {
    const TrackMap map = Map();
    if (map.Empty() || !pick_) return;
    const int64_t number = map.Nearest(points_, event->pos().x(), event->pos().y());
    if (number > 0) pick_(number);
}
