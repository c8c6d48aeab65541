#pragma once
// What the tools read from a path they are given.

#include <string>

// The last component of `path`: "rec.dat" of "dir/rec.dat".
std::string FileName(const std::string& path);

// The extension of the last component, with its dot and in lower case
// (".TS" is ".ts": it names a format, whatever its case); empty without one.
std::string FileExtension(const std::string& path);
