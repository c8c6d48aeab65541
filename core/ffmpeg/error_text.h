#pragma once
// FFmpeg's own words for one of its error codes ("Connection refused", ...).

#include <string>

std::string ErrorText(int code);
