// downlink-player: replays a recorded video downlink, shows its pictures in
// the "RGB Image" window and prints one telemetry line per picture.

#include <QApplication>
#include <chrono>
#include <string>
#include <thread>

#include "app/display_platform.h"
#include "app/input_path.h"
#include "app/orderly_stop.h"
#include "app/qt_message_filter.h"
#include "core/format/replay_pace.h"
#include "pipeline/decode_data.h"

namespace {

constexpr int32_t kVideoType = 1;

// Ends the worker before the pipeline goes. The worker may be waiting in a
// window call that the main thread carries out, so events are served until
// it has left its loop.
void ShutDown(DecodeData* pipeline) {
    pipeline->StopWorker([] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    pipeline->Release();
    delete pipeline;
}

}  // namespace

int main(int argc, char** argv) {
    QuietKnownHarmlessQtMessages();
    PreferOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    // Closing the picture window ends nothing: the next picture opens it again.
    app.setQuitOnLastWindowClosed(false);
    ReportWhenHeadless(app);

    auto* pipeline = new DecodeData;
    OrderlyStop stop([pipeline] {
        pipeline->stopRequested = true;
        QCoreApplication::quit();
    });

    const std::string path = kFixedInputPath;
    pipeline->videoType = kVideoType;
    pipeline->Init();
    pipeline->ReplayFile(path, replay_pace::kChunkBytes);

    // A stop during the replay has already been asked for; otherwise wait in
    // the event loop until a signal ends it.
    const int status = pipeline->stopRequested ? 0 : app.exec();
    if (!pipeline->stopRequested) return status;
    ShutDown(pipeline);
    return 0;
}
