// Only Qt's messages known to be harmless in this player are dropped; a
// near miss, another type or any other text goes through.

#include <gtest/gtest.h>

#include <QString>

#include "app/qt_message_filter.h"

namespace {

struct MessageCase {
    const char* name;
    QtMsgType type;
    const char* text;
    bool dropped;
};

const MessageCase kCases[] = {
    {"RuntimeDirAsRoot", QtWarningMsg, "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root'",
     true},
    {"RuntimeDirOtherUser", QtWarningMsg,
     "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-ops'", true},
    {"SizeHints", QtWarningMsg, "This plugin does not support propagateSizeHints()", true},
    {"SizeHintsAsCritical", QtCriticalMsg, "This plugin does not support propagateSizeHints()", false},
    {"SizeHintsAsDebug", QtDebugMsg, "This plugin does not support propagateSizeHints()", false},
    {"SizeHintsWithMore", QtWarningMsg, "This plugin does not support propagateSizeHints() for window 2", false},
    {"OtherPluginGap", QtWarningMsg, "This plugin does not support raise()", false},
    {"RuntimeDirWrongOwner", QtWarningMsg,
     "QStandardPaths: runtime directory '/run/user/0' is not owned by UID 1000, but a directory permissions 0700 "
     "owned by UID 0 GID 0",
     false},
    {"RuntimeDirCannotCreate", QtWarningMsg,
     "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-root' and it cannot be created", false},
    {"PlatformPlugin", QtWarningMsg, "qt.qpa.xcb: could not connect to display :9", false},
    {"FatalEmpty", QtFatalMsg, "", false},
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.name; }

class QtMessages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(QtMessages, DropsOnlyTheKnownHarmlessOnes) {
    const MessageCase& c = GetParam();
    EXPECT_EQ(IsKnownHarmlessQtMessage(c.type, QString::fromUtf8(c.text)), c.dropped) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Filter, QtMessages, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MessageCase>& info) { return info.param.name; });

}  // namespace
