// The MP3 file the audio benchmarks decode and play.
#pragma once

#include <string>

// `arg` when given; otherwise a music-like MP3 of `seconds` made once with
// sox and lame under /tmp. Empty on failure.
std::string benchMp3(const char* arg, int seconds);
