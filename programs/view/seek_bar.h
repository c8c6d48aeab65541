#pragma once
// The seek bar: how far the recording has been indexed, where the picture
// shown stands, the in and out marks, and under it the link strip, each
// column coloured by the worst the link did there. A click anywhere on it
// asks for the picture at that time.

#include <functional>
#include <vector>

#include <QWidget>

#include "lib/view/link_strip.h"

class SeekBar : public QWidget {
public:
    static constexpr int kStripHeight = 12;

    explicit SeekBar(QWidget* parent = nullptr);
    // Called with the share of the recording's time clicked, 0 to 1.
    void OnSeek(std::function<void(double share)> seek) { seek_ = std::move(seek); }
    void SetPosition(double share);
    void SetIndexed(double share);
    void SetMarks(double in, double out);  // negative: not set
    void SetStrip(std::vector<StripColumn> strip);
    void SetLive(bool live);
    int Columns() const { return width(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    std::function<void(double)> seek_;
    double position_ = 0;
    double indexed_ = 0;
    double in_ = -1;
    double out_ = -1;
    bool live_ = false;
    std::vector<StripColumn> strip_;
};
