#include "programs/view/view_window.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "core/present/telemetry_line.h"
#include "lib/export/picture_range.h"
#include "lib/view/link_strip.h"
#include "lib/view/track_map.h"

namespace {

constexpr int kPlayTickMs = 10;
constexpr int kStatusMs = 500;
// The track and the strip are drawn again at most this often while the
// index grows, so that a long file's first pass is not slowed by them.
constexpr auto kRefreshEvery = std::chrono::milliseconds(500);
constexpr double kShortSeek = 5;
constexpr double kLongSeek = 60;
// A followed recording counts as live while it grew this recently.
constexpr double kLiveSeconds = 2;

QString Clock(double seconds) {
    const long long ms = std::llround(std::max(0.0, seconds) * 1000);
    return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

QString SpeedText(double speed) { return QString::number(speed) + "x"; }

// export-recording beside this program (as installed, /usr/bin), in the
// build tree's folder for it, or on the PATH.
QString ExportProgram() {
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {here + "/export-recording", here + "/../export/export-recording"}) {
        if (QFileInfo(candidate).isExecutable()) return candidate;
    }
    return QStandardPaths::findExecutable("export-recording");
}

QImage ToImage(const cv::Mat& bgr) {
    return QImage(bgr.data, bgr.cols, bgr.rows, static_cast<int>(bgr.step), QImage::Format_BGR888).copy();
}

}  // namespace

ViewWindow::ViewWindow(const std::string& recording)
    : recording_(recording),
      engine_(recording,
              [this] {
                  // From the engine's threads: one poll waiting is enough.
                  if (!pollPosted_.exchange(true)) QMetaObject::invokeMethod(this, [this] { Poll(); }, Qt::QueuedConnection);
              }),
      picture_(new PictureView(this)),
      track_(new TrackPanel(this)),
      seekBar_(new SeekBar(this)),
      status_(new QLabel(this)) {
    setWindowTitle(QString("%1 - downlink-view").arg(QFileInfo(QString::fromStdString(recording)).fileName()));
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(picture_, 1);
    track_->setFixedWidth(320);
    top->addWidget(track_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top, 1);
    layout->addWidget(seekBar_);
    status_->setContentsMargins(8, 4, 8, 4);
    status_->setTextFormat(Qt::PlainText);
    layout->addWidget(status_);
    setFocusPolicy(Qt::StrongFocus);
    for (QWidget* child : {static_cast<QWidget*>(picture_), static_cast<QWidget*>(track_),
                           static_cast<QWidget*>(seekBar_), static_cast<QWidget*>(status_)})
        child->setFocusPolicy(Qt::NoFocus);
    resize(1280, 720);

    seekBar_->OnSeek([this](double share) { ShowAtSeconds(share * duration_); });
    track_->OnPick([this](int64_t number) { Show(number); });
    picture_->SetMessage("Opening the recording...");
    connect(&playTimer_, &QTimer::timeout, this, [this] { Poll(); });
    playTimer_.setInterval(kPlayTickMs);
    // The status line's counters (how long a followed recording was quiet).
    connect(&statusTimer_, &QTimer::timeout, this, [this] { Poll(); });
    statusTimer_.start(kStatusMs);
    engine_.Start();
}

ViewWindow::~ViewWindow() {
    engine_.Stop();
    if (export_ != nullptr) export_->waitForFinished(-1);
}

void ViewWindow::Poll() {
    pollPosted_ = false;
    if (playing_ != playTimer_.isActive()) playing_ ? playTimer_.start() : playTimer_.stop();
    const IndexProgress progress = engine_.Progress();
    const auto now = std::chrono::steady_clock::now();
    if (progress.generation != generation_ &&
        (progress.complete || now - lastRefresh_ >= kRefreshEvery || count_ == 0)) {
        RefreshIndex(progress);
        lastRefresh_ = now;
    }
    progress_ = progress;
    PlayOn();
    TakePicture();
    UpdateStatus();
}

void ViewWindow::RefreshIndex(const IndexProgress& progress) {
    generation_ = progress.generation;
    const std::set<int64_t> damaged = engine_.DamagedPictures();
    const int columns = seekBar_->Columns();
    engine_.WithIndex([&](const PictureIndex& index) {
        count_ = index.Count();
        duration_ = index.Empty() ? 0 : index.TimeOf(static_cast<int64_t>(index.Count()));
        track_->SetTrack(TrackOf(index));
        seekBar_->SetStrip(LinkStrip(index, damaged, columns));
        return 0;
    });
    seekBar_->SetIndexed(progress.bytesTotal > 0 ? static_cast<double>(progress.bytesIndexed) / progress.bytesTotal : 0);
    if (!progress.error.empty()) {
        picture_->SetMessage(QString("Reading the recording failed: %1").arg(QString::fromStdString(progress.error)));
    } else if (count_ == 0) {
        picture_->SetMessage(progress.complete ? "The recording holds no picture."
                                               : QString("Indexing the recording... %1 %")
                                                     .arg(progress.bytesTotal > 0 ? 100 * progress.bytesIndexed /
                                                                                        progress.bytesTotal
                                                                                  : 0));
    }
    if (wanted_ == 0 && count_ > 0) Show(1);
    if (atLiveEnd_ && Count() > wanted_) Show(Count());
    UpdateMarks();
    UpdateStatus();
}

void ViewWindow::PlayOn() {
    if (!playing_ || count_ == 0) return;
    const double seconds = clock_.SecondsAt(std::chrono::steady_clock::now());
    if (seconds > duration_) {
        if (progress_.following) {
            atLiveEnd_ = true;
        } else {
            playing_ = false;
            UpdateStatus();
        }
        engine_.Request(Count());
        wanted_ = Count();
        return;
    }
    const int64_t number = NumberAt(seconds);
    if (number != wanted_) {
        wanted_ = number;
        engine_.Request(number);
    }
}

void ViewWindow::TakePicture() {
    ViewedPicture picture;
    if (!engine_.Take(picture)) return;
    shown_ = std::move(picture);
    if (shown_.decoded) {
        picture_->SetImage(ToImage(shown_.shown));
        picture_->SetMessage({});
    } else {
        picture_->SetImage({});
        picture_->SetMessage(QString("Picture %1 cannot be decoded: no key picture before it, or its data was lost.")
                                 .arg(shown_.number));
    }
    track_->SetCurrent(shown_.number);
    seekBar_->SetPosition(duration_ > 0 ? shown_.seconds / duration_ : 0);
    UpdateStatus();
}

double ViewWindow::SecondsOf(int64_t number) const {
    return engine_.WithIndex([number](const PictureIndex& index) {
        return number >= 1 && number <= static_cast<int64_t>(index.Count()) ? index.TimeOf(number) : 0.0;
    });
}

int64_t ViewWindow::NumberAt(double seconds) const {
    return engine_.WithIndex([seconds](const PictureIndex& index) { return index.NumberAtTime(seconds); });
}

void ViewWindow::Show(int64_t number) {
    if (count_ == 0) return;
    number = std::clamp<int64_t>(number, 1, Count());
    wanted_ = number;
    engine_.Request(number);
    if (playing_) clock_.Start(SecondsOf(number), speed_, std::chrono::steady_clock::now());
}

void ViewWindow::ShowAtSeconds(double seconds) {
    atLiveEnd_ = false;
    Show(NumberAt(seconds));
}

void ViewWindow::StepBy(int64_t pictures) {
    playing_ = false;
    atLiveEnd_ = false;
    Show(wanted_ + pictures);
    UpdateStatus();
}

void ViewWindow::SeekBy(double seconds) {
    atLiveEnd_ = false;
    Show(NumberAt(SecondsOf(wanted_) + seconds));
}

void ViewWindow::TogglePlay() {
    playing_ = !playing_;
    playing_ ? playTimer_.start() : playTimer_.stop();
    if (playing_) {
        if (wanted_ >= Count() && !progress_.following) Show(1);
        clock_.Start(SecondsOf(wanted_), speed_, std::chrono::steady_clock::now());
    } else {
        atLiveEnd_ = false;
    }
    UpdateStatus();
}

void ViewWindow::ChangeSpeed(int steps) {
    speed_ = playback::ChangedSpeed(speed_, steps);
    if (playing_) clock_.Start(SecondsOf(wanted_), speed_, std::chrono::steady_clock::now());
    UpdateStatus();
}

void ViewWindow::GoToEnd() {
    Show(Count());
    if (progress_.following) {
        atLiveEnd_ = true;
        playing_ = true;
        playTimer_.start();
        clock_.Start(duration_, 1, std::chrono::steady_clock::now());
    }
    UpdateStatus();
}

// A picture number ("120") or a time from the first picture ("4.8s",
// "1:23.5"), as export-recording's --from and --to take them.
void ViewWindow::GoToAsked() {
    bool ok = false;
    const QString text = QInputDialog::getText(this, "Go to", "Picture number, or time (4.8s, 1:23.5):",
                                               QLineEdit::Normal, {}, &ok);
    if (!ok || text.trimmed().isEmpty()) return;
    RangeEnd end;
    if (!ParseRangeEnd(text.trimmed().toStdString(), end) || end.kind == RangeEnd::kOpen) {
        Say(QString("not a picture number or a time: %1").arg(text));
        return;
    }
    atLiveEnd_ = false;
    if (end.kind == RangeEnd::kPicture) {
        Show(end.value);
    } else {
        ShowAtSeconds(static_cast<double>(end.value) / 1e6);
    }
}

// As mpv does with its screenshot key: into the working folder, named after
// the recording and the picture, with the picture's telemetry line in the
// PNG's text. The picture is saved as decoded, without the display on it.
void ViewWindow::SavePicture() {
    if (!shown_.decoded) return;
    const QString base = QFileInfo(QString::fromStdString(recording_)).completeBaseName();
    const QString path = QDir::current().filePath(QString("%1-%2.png").arg(base).arg(shown_.number, 6, 10, QChar('0')));
    QImage image = ToImage(shown_.picture);
    if (shown_.hasTelemetry) {
        char line[kTelemetryLineMax];
        const size_t length = FormatTelemetryLine(line, static_cast<int32_t>(shown_.number), 1, shown_.values);
        image.setText("Telemetry", QString::fromLatin1(line, static_cast<int>(length)).trimmed());
    }
    image.setText("Source", QString::fromStdString(recording_));
    Say(image.save(path, "PNG") ? QString("saved %1").arg(path) : QString("cannot save %1").arg(path));
}

void ViewWindow::MarkIn() {
    markIn_ = wanted_;
    if (markOut_ != 0 && markOut_ < markIn_) markOut_ = 0;
    Say(QString("in at picture %1").arg(markIn_));
    UpdateMarks();
}

void ViewWindow::MarkOut() {
    markOut_ = wanted_;
    if (markIn_ != 0 && markIn_ > markOut_) markIn_ = 0;
    Say(QString("out at picture %1").arg(markOut_));
    UpdateMarks();
}

// Hands the marked stretch to export-recording, as an MKV in the working
// folder; the viewer goes on meanwhile.
void ViewWindow::ExportMarked() {
    if (export_ != nullptr) {
        Say("an export is still running");
        return;
    }
    const QString program = ExportProgram();
    if (program.isEmpty()) {
        Say("export-recording not found");
        return;
    }
    const QString base = QFileInfo(QString::fromStdString(recording_)).completeBaseName();
    const int64_t from = markIn_ != 0 ? markIn_ : 1;
    const int64_t to = markOut_ != 0 ? markOut_ : Count();
    const QString output = QDir::current().filePath(QString("%1-%2-%3.mkv").arg(base).arg(from).arg(to));
    export_ = new QProcess(this);
    export_->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(export_, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this, output](int status, QProcess::ExitStatus) {
                Say(status == 0 ? QString("exported %1").arg(output)
                                : QString("export-recording failed (status %1)").arg(status));
                export_->deleteLater();
                export_ = nullptr;
            });
    export_->start(program, {QString::fromStdString(recording_), "--from", QString::number(from), "--to",
                             QString::number(to), "--output", output, "--quiet"});
    Say(QString("exporting pictures %1 to %2 to %3").arg(from).arg(to).arg(output));
}

void ViewWindow::Say(const QString& message) {
    message_ = message;
    UpdateStatus();
}

void ViewWindow::UpdateMarks() {
    if (duration_ <= 0) return;
    seekBar_->SetMarks(markIn_ != 0 ? SecondsOf(markIn_) / duration_ : -1,
                       markOut_ != 0 ? SecondsOf(markOut_) / duration_ : -1);
}

void ViewWindow::UpdateStatus() {
    const bool live = progress_.following && progress_.secondsSinceGrowth < kLiveSeconds;
    seekBar_->SetLive(progress_.following);
    QString text = QString("#%1 / %2   %3 / %4   %5   %6")
                       .arg(shown_.number)
                       .arg(count_)
                       .arg(Clock(shown_.seconds))
                       .arg(Clock(duration_))
                       .arg(SpeedText(speed_))
                       .arg(playing_ ? "playing" : "paused");
    if (progress_.following) text += atLiveEnd_ ? "   at the live end" : "   behind the live end (End returns)";
    if (progress_.following && !live) text += QString("   recording quiet %1 s").arg(std::floor(progress_.secondsSinceGrowth));
    if (!progress_.complete && !progress_.following && progress_.bytesTotal > 0) {
        text += QString("   indexing %1 %").arg(100 * progress_.bytesIndexed / progress_.bytesTotal);
    }
    if (shown_.damaged) text += "   DAMAGED";
    if (!message_.isEmpty()) text += "   |  " + message_;
    status_->setText(text);
}

void ViewWindow::keyPressEvent(QKeyEvent* event) {
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    switch (event->key()) {
        case Qt::Key_Space: TogglePlay(); break;
        case Qt::Key_Period: StepBy(1); break;
        case Qt::Key_Comma: StepBy(-1); break;
        case Qt::Key_Right: SeekBy(shift ? 1 : kShortSeek); break;
        case Qt::Key_Left: SeekBy(shift ? -1 : -kShortSeek); break;
        case Qt::Key_Up: SeekBy(kLongSeek); break;
        case Qt::Key_Down: SeekBy(-kLongSeek); break;
        case Qt::Key_BracketRight: ChangeSpeed(1); break;
        case Qt::Key_BracketLeft: ChangeSpeed(-1); break;
        case Qt::Key_Backspace: ChangeSpeed(static_cast<int>(std::lround(-std::log2(speed_)))); break;
        case Qt::Key_Home:
            atLiveEnd_ = false;
            Show(1);
            break;
        case Qt::Key_End: GoToEnd(); break;
        case Qt::Key_G: GoToAsked(); break;
        case Qt::Key_H:
            hud_ = !hud_;
            engine_.SetHud(hud_);
            break;
        case Qt::Key_S: SavePicture(); break;
        case Qt::Key_I: MarkIn(); break;
        case Qt::Key_O: MarkOut(); break;
        case Qt::Key_E: ExportMarked(); break;
        case Qt::Key_Q:
        case Qt::Key_Escape: close(); break;
        default: QWidget::keyPressEvent(event); return;
    }
}
