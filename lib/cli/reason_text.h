#pragma once
// The system's or FFmpeg's words for why something failed, as the programs'
// messages give them: "cannot open X: connection refused".

#include <string>

// `text` with its first letter in lower case; a leading abbreviation
// ("SRT socket ...") keeps its case.
std::string AsReason(std::string text);
