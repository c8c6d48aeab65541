#include "app/qt_message_filter.h"

#include <QString>

namespace {

QtMessageHandler previousHandler = nullptr;

// Qt then keeps its runtime files in a folder of its own under /tmp, which
// serves a player that needs none of them.
const char kRuntimeDirPrefix[] = "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '";
// With no window manager there is nobody to give the hints to.
const char kSizeHints[] = "This plugin does not support propagateSizeHints()";

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (IsKnownHarmlessQtMessage(type, message)) return;
    if (previousHandler != nullptr) previousHandler(type, context, message);
}

}  // namespace

bool IsKnownHarmlessQtMessage(QtMsgType type, const QString& message) {
    if (type != QtWarningMsg) return false;
    return message == QLatin1String(kSizeHints) ||
           (message.startsWith(QLatin1String(kRuntimeDirPrefix)) && message.endsWith(QLatin1Char('\'')));
}

void QuietKnownHarmlessQtMessages() { previousHandler = qInstallMessageHandler(Filter); }
