#pragma once
// downlink-view's window: the picture with its heads-up display, the track
// panel beside it, the seek bar with the link strip under it and a status
// line; the keys of common video players.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "lib/view/playback.h"
#include "lib/view/view_engine.h"
#include "programs/view/picture_view.h"
#include "programs/view/seek_bar.h"
#include "programs/view/track_panel.h"

class QProcess;

class ViewWindow : public QWidget {
public:
    explicit ViewWindow(const std::string& recording);
    ~ViewWindow() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Poll();
    void RefreshIndex(const IndexProgress& progress);
    void TakePicture();
    void PlayOn();

    // Navigation: every one pauses following the live end, except End.
    void Show(int64_t number);
    void ShowAtSeconds(double seconds);
    void StepBy(int64_t pictures);
    void SeekBy(double seconds);
    void TogglePlay();
    void ChangeSpeed(int steps);
    void GoToAsked();
    void GoToEnd();

    void SavePicture();
    void MarkIn();
    void MarkOut();
    void ExportMarked();
    void Say(const QString& message);
    void UpdateStatus();
    void UpdateMarks();

    int64_t Count() const { return static_cast<int64_t>(count_); }
    double SecondsOf(int64_t number) const;
    int64_t NumberAt(double seconds) const;

    const std::string recording_;
    ViewEngine engine_;
    PictureView* picture_;
    TrackPanel* track_;
    SeekBar* seekBar_;
    QLabel* status_;
    QTimer playTimer_;
    QTimer statusTimer_;
    std::atomic<bool> pollPosted_{false};

    size_t count_ = 0;
    double duration_ = 0;
    uint64_t generation_ = 0;
    std::chrono::steady_clock::time_point lastRefresh_{};
    IndexProgress progress_;

    ViewedPicture shown_;
    int64_t wanted_ = 0;  // the picture last asked for
    bool playing_ = false;
    bool atLiveEnd_ = false;
    double speed_ = 1;
    playback::Clock clock_;
    bool hud_ = true;
    int64_t markIn_ = 0;
    int64_t markOut_ = 0;
    QString message_;
    QProcess* export_ = nullptr;
};
