#pragma once
// A recording's picture index kept in a small file, so that opening the
// recording again takes a moment instead of a pass over it. The file is
// beside the recording (RECORDING.dlvindex) or, where that folder cannot be
// written, in the user's cache folder. It holds the recording's size, its
// modification time and a hash of its first and last bytes; a recording
// that changed in any of them is indexed again.

#include <string>

#include "lib/view/picture_index.h"

namespace index_cache {

// Where the index of `recording` is looked for first, and where it goes
// when that folder is not writable.
std::string BesidePath(const std::string& recording);
std::string CacheFolderPath(const std::string& recording);

// The index of `recording` from either place, when one of them holds the
// index of exactly this recording, complete.
bool Load(const std::string& recording, PictureIndex& index);
// Keeps the index of a complete recording; false when neither place can
// be written (the viewer works without).
bool Save(const std::string& recording, const PictureIndex& index);

}  // namespace index_cache
