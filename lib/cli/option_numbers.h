#pragma once
// Numbers given on the programs' command lines.

// A whole decimal number within [lowest, highest], and nothing after it.
// False, and `value` unspecified, for anything else (empty text, a sign
// alone, trailing characters, or a value out of range or of long long).
bool ParseInteger(const char* text, long long lowest, long long highest, long long& value);

// A decimal number ("2.5", "1e3", "-0.25") within [lowest, highest], and
// nothing after it, read the same under every locale. False, and `value`
// unspecified, for anything else, infinities and NaN included.
bool ParseDecimal(const char* text, double lowest, double highest, double& value);
