#pragma once

// The one recording the player reads, relative to its working folder on
// Linux. downlink-play links a recording of the user's choice here.
constexpr char kFixedInputPath[] = "E:/Morrigat/Vessik/Quillmar/1080vi1.dat";
