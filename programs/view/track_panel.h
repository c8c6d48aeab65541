#pragma once
// The whole flight track beside the picture, north up with a scale bar:
// the part flown up to the picture shown drawn bright, the rest dim, and
// the aircraft's place and heading marked. A click asks for the picture
// nearest to the point clicked.

#include <functional>
#include <vector>

#include <QWidget>

#include "lib/view/track_map.h"

class TrackPanel : public QWidget {
public:
    explicit TrackPanel(QWidget* parent = nullptr);
    void OnPick(std::function<void(int64_t number)> pick) { pick_ = std::move(pick); }
    void SetTrack(std::vector<TrackPoint> points);
    void SetCurrent(int64_t number);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    static constexpr int kMargin = 24;
    TrackMap Map() const { return TrackMap(points_, width(), height(), kMargin); }
    void DrawScaleBar(QPainter& painter, const TrackMap& map) const;
    void DrawNorth(QPainter& painter) const;
    void DrawAircraft(QPainter& painter, const TrackMap& map, size_t at) const;

    std::function<void(int64_t)> pick_;
    std::vector<TrackPoint> points_;
    int64_t current_ = 0;
};
