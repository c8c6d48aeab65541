#include "programs/view/seek_bar.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>

namespace {
// The strip's colours, the worst first: frames lost, pictures damaged,
// frames invalid or numbers broken.
const QColor kLost(230, 40, 40);
const QColor kDamaged(240, 140, 0);
const QColor kBroken(230, 220, 40);
const QColor kClean(40, 120, 60);
}  // namespace

SeekBar::SeekBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(30 + kStripHeight);
    setCursor(Qt::PointingHandCursor);
}

void SeekBar::SetPosition(double share) {
    position_ = std::clamp(share, 0.0, 1.0);
    update();
}

void SeekBar::SetIndexed(double share) {
    indexed_ = std::clamp(share, 0.0, 1.0);
    update();
}

void SeekBar::SetMarks(double in, double out) {
    in_ = in;
    out_ = out;
    update();
}

void SeekBar::SetStrip(std::vector<StripColumn> strip) {
    strip_ = std::move(strip);
    update();
}

void SeekBar::SetLive(bool live) {
    live_ = live;
    update();
}

void SeekBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int barHeight = height() - kStripHeight;
    painter.fillRect(rect(), QColor(30, 30, 30));
    painter.fillRect(QRect(0, 8, static_cast<int>(width() * indexed_), barHeight - 16), QColor(90, 90, 90));
    painter.fillRect(QRect(0, 8, static_cast<int>(width() * position_), barHeight - 16), QColor(70, 130, 220));
    if (in_ >= 0 || out_ >= 0) {
        const int from = static_cast<int>(width() * std::max(in_, 0.0));
        const int to = static_cast<int>(width() * (out_ >= 0 ? out_ : 1.0));
        painter.fillRect(QRect(from, 2, std::max(1, to - from), 4), QColor(250, 250, 250));
    }
    const int x = static_cast<int>(width() * position_);
    painter.fillRect(QRect(x - 1, 0, 3, barHeight), Qt::white);
    if (live_) {
        painter.setPen(QColor(255, 80, 80));
        painter.drawText(QRect(0, 0, width() - 4, barHeight), Qt::AlignRight | Qt::AlignVCenter, "LIVE");
    }
    for (size_t i = 0; i < strip_.size() && static_cast<int>(i) < width(); ++i) {
        const StripColumn& c = strip_[i];
        const QColor colour = c.lostFrames > 0        ? kLost
                              : c.damagedPictures > 0 ? kDamaged
                              : !c.Clean()            ? kBroken
                                                      : kClean;
        painter.fillRect(QRect(static_cast<int>(i), barHeight, 1, kStripHeight), colour);
    }
}

void SeekBar::mousePressEvent(QMouseEvent* event) {
    if (seek_ && width() > 0) seek_(std::clamp(event->pos().x() / static_cast<double>(width()), 0.0, 1.0));
}

void SeekBar::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) != 0) mousePressEvent(event);
}
