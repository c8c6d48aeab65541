#pragma once
// Numbers given on the tools' command lines.

// A whole decimal number within [lowest, highest], and nothing after it.
// False, and `value` unspecified, for anything else (empty text, a sign
// alone, trailing characters, or a value out of range or of long long).
bool ParseInteger(const char* text, long long lowest, long long highest, long long& value);
