#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a call on the main thread. The signal handler
// only writes a byte to a pipe; a notifier on the pipe's other end runs
// `onStop` from the Qt event loop, during the replay's pauses or after it.
class OrderlyStop : public QObject {
public:
    explicit OrderlyStop(std::function<void()> onStop);
    ~OrderlyStop() override;

private:
    void Drain();

    std::function<void()> onStop_;
    QSocketNotifier* notifier_;
};
