#pragma once

// Waits `milliseconds` between two replayed chunks. On the thread of a Qt
// application object the wait is spent in a local event loop, because the
// worker's window calls are carried out there and block until it serves them;
// elsewhere it is a plain sleep.
void PauseReplay(int milliseconds);
