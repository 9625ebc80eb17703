#include "bench/BenchCorpus.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

void Run(const std::string& commandLine) {
  if (std::system(commandLine.c_str()) != 0) throw std::runtime_error("failed: " + commandLine);
}

std::string Quote(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

// Writes an ID3v2.3 tag with a few text frames and a cover picture of
// coverBytes random bytes behind a JPEG signature, and an ID3v1 tag.
void Tag(const fs::path& file, int index, std::size_t coverBytes) {
  TagLib::MPEG::File mpeg(file.c_str());
  if (!mpeg.isOpen()) throw std::runtime_error("cannot tag " + file.string());
  TagLib::ID3v2::Tag* tag = mpeg.ID3v2Tag(true);
  tag->setTitle("Faixa " + TagLib::String::number(index));
  tag->setArtist("Banda da Rua");
  tag->setAlbum("Ao Vivo");
  tag->setYear(1990 + index % 30);
  tag->setTrack(index % 20 + 1);
  tag->setGenre("Samba");
  std::mt19937 random(static_cast<unsigned>(index));
  TagLib::ByteVector cover(static_cast<unsigned>(coverBytes), '\0');
  for (unsigned i = 0; i < cover.size(); ++i) cover[i] = static_cast<char>(random());
  cover[0] = static_cast<char>(0xFF);
  cover[1] = static_cast<char>(0xD8);
  auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
  picture->setMimeType("image/jpeg");
  picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
  picture->setPicture(cover);
  tag->addFrame(picture);
  mpeg.ID3v1Tag(true)->setTitle("Faixa " + TagLib::String::number(index));
  if (!mpeg.save(TagLib::MPEG::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v3))
    throw std::runtime_error("cannot save tags of " + file.string());
}

}  // namespace

std::vector<std::string> MakeBenchCorpus(const std::string& folderName) {
  const fs::path folder(folderName);
  const fs::path marker = folder / ".complete";
  if (!fs::exists(marker)) {
    fs::remove_all(folder);
    fs::create_directories(folder / "base");
    std::fprintf(stderr, "making the benchmark corpus in %s ...\n", folderName.c_str());
    const fs::path base = folder / "base";
    // Sources: music-like noise of a jingle's and of a track's length.
    Run("sox -n -r 44100 -c 2 -b 16 " + Quote(base / "short.wav") + " synth 25 pinknoise vol 0.3");
    Run("sox -n -r 44100 -c 2 -b 16 " + Quote(base / "long.wav") + " synth 200 pinknoise vol 0.3");
    const char* encodings[] = {"-b 128", "-b 192", "-b 320", "-V 2", "-V 5", "--abr 160"};
    int made = 0;
    for (const char* source : {"short", "long"}) {
      for (const char* encoding : encodings) {
        const fs::path mp3 = base / (std::string(source) + "-" + std::to_string(made++) + ".mp3");
        Run(std::string("lame --quiet ") + encoding + " " + Quote(base / (std::string(source) + ".wav")) + " " + Quote(mp3));
      }
    }
    std::vector<fs::path> encoded;
    for (const auto& entry : fs::directory_iterator(base))
      if (entry.path().extension() == ".mp3") encoded.push_back(entry.path());
    std::sort(encoded.begin(), encoded.end());
    // 120 tagged copies with covers from 20 to 80 KB, 40 untagged copies.
    for (int i = 0; i < 160; ++i) {
      const fs::path copy = folder / ("track" + std::to_string(i) + ".mp3");
      fs::copy_file(encoded[static_cast<std::size_t>(i) % encoded.size()], copy);
      if (i < 120) Tag(copy, i, 20000 + static_cast<std::size_t>(i % 7) * 10000);
    }
    // WAV files of several layouts: sox PCM (mono, stereo, 8 and 24 bits), sox
    // float with a fact chunk, ffmpeg with a LIST chunk before the data.
    const char* wavs[] = {
        "sox -n -r 44100 -c 2 -b 16 %s synth 30 sine 440",
        "sox -n -r 22050 -c 1 -b 16 %s synth 20 sine 440",
        "sox -n -r 8000 -c 1 -b 8 %s synth 10 sine 440",
        "sox -n -r 48000 -c 2 -b 24 %s synth 15 sine 440",
        "sox -n -r 44100 -c 2 -e float -b 32 %s synth 12 sine 440",
        "ffmpeg -v quiet -f lavfi -i sine=frequency=440:duration=20 -ac 2 %s",
    };
    for (int i = 0; i < 48; ++i) {
      const fs::path wav = folder / ("jingle" + std::to_string(i) + ".wav");
      char command[512];
      std::snprintf(command, sizeof command, wavs[i % 6], Quote(wav).c_str());
      if (i < 6) Run(command);
      else fs::copy_file(folder / ("jingle" + std::to_string(i % 6) + ".wav"), wav);
    }
    fs::remove_all(base);
    std::FILE* done = std::fopen(marker.c_str(), "w");
    if (done != nullptr) std::fclose(done);
  }
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename() != ".complete") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}
