#pragma once

#include <QtGlobal>

class QString;

// Qt warns about things that do not matter to this player: as root, that
// XDG_RUNTIME_DIR is unset; without a display, that the offscreen platform
// cannot pass OpenCV's size hints to a window manager it does not have.
// Users read such lines as faults of the player.
bool IsKnownHarmlessQtMessage(QtMsgType type, const QString& message);

// Drops exactly those messages and hands every other one to the handler
// that was there before (Qt's own). Call before the application object is
// made, since the first of them comes from its constructor.
void QuietKnownHarmlessQtMessages();
