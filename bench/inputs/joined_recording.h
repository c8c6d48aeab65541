#pragma once
// A long recording made of copies of a short one, its link frames numbered
// on across the copies so that a reader sees one unbroken link. Encoding
// hours of pictures would take hours; joining takes as long as writing.

#include <string>

// `piece` must hold link frames back to back (no noise). False, saying why
// on standard error, when it cannot be read or `out` cannot be written.
bool JoinCopies(const std::string& piece, const std::string& out, int copies);

double FileBytes(const std::string& path);
