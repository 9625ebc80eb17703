#pragma once

#include <string>
#include <vector>

// A corpus of realistic audio files for the benchmarks, made once with lame,
// sox and ffmpeg in the given folder and reused while its marker file exists:
// MP3 CBR and VBR with ID3v2 tags that carry a cover picture of some tens of
// KB (and an ID3v1 tag), MP3 without tags, and WAV files of several layouts.
// Returns the paths of all files.
std::vector<std::string> MakeBenchCorpus(const std::string& folder);
