#include "tools/audioinfo/JsonWriter.h"
#include "tools/audioinfo/StatusSaida.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <cstdio>
#include <limits>
#include <memory>
#include <string_view>

namespace {

using dztest::TBytes;
using dztest::TTempDir;

struct TOutput {
  int status;
  std::string text;
};

// Runs audioinfo with the given (already quoted) arguments; standard output only.
TOutput RunAudioinfo(const std::string& arguments) {
  const std::string command = std::string(AUDIOINFO_PATH) + " " + arguments + " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string text;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) text.append(buffer.data(), n);
  const int status = ::pclose(pipe.release());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

// A plain 44-byte WAV header and audioBytes of silence; one second at 8000 bytes/s
// for audioBytes 8000.
std::vector<std::uint8_t> PlainWav(std::uint32_t audioBytes) {
  return TBytes()
      .Str("RIFF").LE32(36 + audioBytes).Str("WAVE")
      .Str("fmt ").LE32(16).LE16(1).LE16(1).LE32(8000).LE32(8000).LE16(1).LE16(8)
      .Str("data").LE32(audioBytes)
      .Zeros(audioBytes);
}

TEST(JsonWriter, WritesBytesAsCharactersOfTheSameCode) {
  TJsonWriter json;
  json.BeginObject()
      .Text("t", std::string("a\"b\\c\0\x01\xE7\x7F", 9))
      .Bool("b", false)
      .Integer("i", -7)
      .Double("d", 0.1)
      .Double("inf", std::numeric_limits<double>::infinity())
      .Null("n")
      .BeginObject("o").Integer("x", 1).EndObject()
      .EndObject();
  EXPECT_EQ(json.Result(),
            R"({"t":"a\"b\\c\u0000\u0001\u00e7\u007f","b":false,"i":-7,"d":0.10000000000000001,"inf":null,"n":null,"o":{"x":1}})");
}

// The program's own texts (a reason) are UTF-8: each character once, as its code.
TEST(JsonWriter, WritesUtf8TextByCharacter) {
  TJsonWriter json;
  json.BeginObject().Utf8Text("r", "n\xC3\xA3o \"x\"\t\xE2\x82\xAC").Utf8Text("cut", "a\xC3").EndObject();
  EXPECT_EQ(json.Result(), R"({"r":"n\u00e3o \"x\"\t\u20ac","cut":"a\ufffd"})");
}

TEST(Audioinfo, OneLinePerFileWithEveryReader) {
  TTempDir dir;
  const std::string wav = dir.File("one second.wav");
  dztest::WriteFile(wav, PlainWav(8000));
  const std::string missing = dir.File("missing.mp3");
  const TOutput out = RunAudioinfo(dztest::ShellQuote(wav) + " " + dztest::ShellQuote(missing));
  EXPECT_EQ(out.status, SaidaOk);
  const auto newline = out.text.find('\n');
  ASSERT_NE(newline, std::string::npos);
  const std::string first = out.text.substr(0, newline);
  const std::string second = out.text.substr(newline + 1);
  EXPECT_EQ(std::count(out.text.begin(), out.text.end(), '\n'), 2);

  EXPECT_NE(first.find("{\"path\":\"" + wav + "\",\"seconds\":1,\"time\":\"00:01\",\"reason\":null,\"mpeg\":{\"loaded\":"),
            std::string::npos) << first;
  EXPECT_NE(first.find("\"wav\":{\"loaded\":true,\"Valid\":true,\"FormatTag\":1,\"Channels\":1,\"SampleRate\":8000,"
                       "\"BytesPerSecond\":8000,\"BlockAlign\":1,\"BitsPerSample\":8,\"SampleCount\":0,\"HeaderSize\":44,"
                       "\"FileSize\":8044,\"ChannelMode\":\"Mono\",\"Duration\":1}"),
            std::string::npos) << first;
  EXPECT_NE(first.find("\"id3v1\":{\"loaded\":true,\"Present\":false,"), std::string::npos) << first;
  EXPECT_NE(first.find("\"id3v2\":{\"loaded\":true,\"Present\":false,"), std::string::npos) << first;
  // A WAV file holds no MPEG frame: the MPEG reader is cleared and has no frame count.
  EXPECT_NE(first.find("\"Frames\":null,\"Duration\":0,"), std::string::npos) << first;

  EXPECT_NE(second.find("\"seconds\":0,\"time\":\"00:00\",\"reason\":\"arquivo inexistente\",\"mpeg\":{\"loaded\":false,"),
            std::string::npos) << second;
  EXPECT_NE(second.find("\"wav\":{\"loaded\":false,"), std::string::npos) << second;
  EXPECT_NE(second.find("\"id3v1\":{\"loaded\":false,"), std::string::npos) << second;
  EXPECT_NE(second.find("\"id3v2\":{\"loaded\":false,"), std::string::npos) << second;
}

TEST(Audioinfo, TagTextsKeepTheirBytes) {
  TTempDir dir;
  const std::string path = dir.File("tagged.mp3");
  TBytes tag;
  tag.Str("TAG").Str("Can\xE7\xE3o").Zeros(24).PadTo(3 + 30 + 30 + 30 + 4 + 30).U8(17);
  dztest::WriteFile(path, TBytes().Fill(300, 0x11).Append(tag.Data()).Data());
  const TOutput out = RunAudioinfo(dztest::ShellQuote(path));
  EXPECT_EQ(out.status, SaidaOk);
  EXPECT_NE(out.text.find("\"Title\":\"Can\\u00e7\\u00e3o\""), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("\"GenreIndex\":17,\"GenreName\":\"Rock\""), std::string::npos) << out.text;
}

// MPEG 1 Layer III frames at 44100 Hz (1152 samples each): a header, then zeros.
std::vector<std::uint8_t> Frames(int count, std::uint8_t bitRateByte, std::string_view vbrHeader = {},
                                 std::uint32_t announced = 0) {
  TBytes bytes;
  const std::size_t length = bitRateByte == 0x90 ? 417 : 522;  // 128 or 160 kbit/s
  for (int i = 0; i < count; ++i) {
    const std::size_t end = bytes.Size() + length;
    bytes.U8s({0xFF, 0xFB, bitRateByte, 0x64});
    if (i == 0 && !vbrHeader.empty()) bytes.Zeros(32).Str(vbrHeader).BE32(0x0F).BE32(announced).BE32(0);
    bytes.PadTo(end);
  }
  return bytes;
}

// --walk adds one member after "mpeg" and changes nothing else: the line
// without it is the line without --walk, byte for byte.
TEST(Audioinfo, WalkAddsOneMemberAfterMpeg) {
  TTempDir dir;
  TBytes truncated;
  truncated.Append(Frames(1, 0x90, "Xing", 40)).Append(Frames(20, 0x90));
  TBytes vbrWithoutHeader;
  for (int i = 0; i < 10; ++i) vbrWithoutHeader.Append(Frames(2, 0x90)).Append(Frames(1, 0xA0));
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::string walk;
  } cases[] = {
      {"a Xing header announcing twice the frames there are", truncated,
       R"("walk":{"Frames":20,"Bytes":8340,"Duration":0.52244897959183678,"Resyncs":0,"Truncated":true})"},
      {"bit rates that vary, no VBR header", vbrWithoutHeader,
       R"("walk":{"Frames":30,"Bytes":13560,"Duration":0.78367346938775506,"Resyncs":0,"Truncated":false})"},
      {"no MPEG audio", PlainWav(8000), R"("walk":null)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("file.mp3");
    dztest::WriteFile(path, c.bytes);
    const TOutput plain = RunAudioinfo(dztest::ShellQuote(path));
    const TOutput walked = RunAudioinfo("--walk " + dztest::ShellQuote(path));
    EXPECT_EQ(plain.status, SaidaOk);
    EXPECT_EQ(walked.status, SaidaOk);
    EXPECT_EQ(plain.text.find("\"walk\""), std::string::npos) << plain.text;
    const std::size_t at = walked.text.find(",\"walk\":");
    ASSERT_NE(at, std::string::npos) << walked.text;
    EXPECT_EQ(walked.text.substr(at + 1, c.walk.size()), c.walk);
    EXPECT_EQ(walked.text.substr(at + 1 + c.walk.size(), 7), ",\"wav\":");
    // Right behind the end of the "mpeg" object.
    EXPECT_LT(walked.text.find("\"mpeg\":{"), at);
    EXPECT_EQ(walked.text.substr(at - 1, 1), "}");
    EXPECT_EQ(std::string(walked.text).erase(at, 1 + c.walk.size()), plain.text);
  }
}

// An Info frame (a CBR stream's Xing twin) is shown as the VBR header it is
// read as, and the walk does not count it as audio.
TEST(Audioinfo, InfoFrameIsAVBRHeaderAndNoAudio) {
  TTempDir dir;
  const std::string path = dir.File("cbr.mp3");
  dztest::WriteFile(path, TBytes().Append(Frames(1, 0x90, "Info", 20)).Append(Frames(20, 0x90)).Data());
  const TOutput out = RunAudioinfo("--walk " + dztest::ShellQuote(path));
  EXPECT_EQ(out.status, SaidaOk);
  EXPECT_NE(out.text.find(R"("VBR":{"Found":true,"ID":"Info","Frames":20,"Bytes":0,)"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find(R"("walk":{"Frames":20,"Bytes":8340,)"), std::string::npos) << out.text;
}

TEST(Audioinfo, ArgumentsAndHelp) {
  const struct {
    const char* what;
    const char* arguments;
    int status;
    const char* output;
  } cases[] = {
      {"help", "--help", SaidaOk, "usage: audioinfo"},
      {"help tells of --walk", "--help", SaidaOk, "\"walk\":{\"Frames\":"},
      {"help names the five lookup results", "--help", SaidaOk,
       "\"lookup\" (\"exact\", \"found\", \"missing\", \"ambiguous\"\nor \"outside\""},
      {"help tells of the reason", "--help", SaidaOk, "\"reason\" why the file got that many"},
      {"--walk without a file", "--walk", SaidaUso, ""},
      {"no file", "", SaidaUso, ""},
      {"unknown option", "--frobnicate x.mp3", SaidaUso, ""},
  };
  for (const auto& c : cases) {
    const TOutput out = RunAudioinfo(c.arguments);
    EXPECT_EQ(out.status, c.status) << c.what;
    EXPECT_NE(out.text.find(c.output), std::string::npos) << c.what;
  }
}

// With rules (--mapear, or --config's [CAMINHOS]) each argument is a
// catalogue's path, looked up as the update run does; without, it is read as
// it is.
TEST(Audioinfo, LooksUpCataloguePathsWithRules) {
  TTempDir dir;
  std::filesystem::create_directories(dir.Path() / "Samba");
  std::filesystem::create_directories(dir.Path() / "Dupla");
  dztest::WriteFile(dir.File("Samba/Um Segundo.WAV"), PlainWav(8000));
  dztest::WriteFile(dir.File("Dupla/a.wav"), PlainWav(8000));
  dztest::WriteFile(dir.File("Dupla/A.wav"), PlainWav(8000));
  const std::string ini = dir.File("BaseAudio.ini");
  dztest::WriteFile(ini, "[BANCO]\r\nCAMINHO=x.fdb\r\n[CAMINHOS]\r\nDE1=C:\\Musicas\\\r\nPARA1=" + dir.Path().string() +
                             "\r\n");
  const std::string files = " 'C:\\MUSICAS\\samba\\um segundo.wav' 'c:\\musicas\\dupla\\A.WAV' 'C:\\Musicas\\falta.wav'"
                            " 'C:\\Musicas\\..\\fora.wav'";
  const std::string root = dir.Path().string();
  const std::string expected[] = {
      "{\"path\":\"C:\\\\MUSICAS\\\\samba\\\\um segundo.wav\",\"lookup\":\"found\",\"opened\":\"" + root +
          "/Samba/Um Segundo.WAV\",\"seconds\":1,\"time\":\"00:01\",\"reason\":null,",
      "{\"path\":\"c:\\\\musicas\\\\dupla\\\\A.WAV\",\"lookup\":\"ambiguous\",\"opened\":\"" + root +
          "/dupla/A.WAV\",\"seconds\":0,\"time\":\"00:00\",\"reason\":\"nome amb\\u00edguo\",",
      "{\"path\":\"C:\\\\Musicas\\\\falta.wav\",\"lookup\":\"missing\",\"opened\":\"" + root +
          "/falta.wav\",\"seconds\":0,\"time\":\"00:00\",\"reason\":\"arquivo inexistente\",",
      "{\"path\":\"C:\\\\Musicas\\\\..\\\\fora.wav\",\"lookup\":\"outside\",\"opened\":\"" + root +
          "/../fora.wav\",\"seconds\":0,\"time\":\"00:00\",\"reason\":\"caminho fora da pasta mapeada\",",
  };
  for (const std::string& rules :
       {"--mapear " + dztest::ShellQuote("C:\\Musicas\\=" + root), "--config " + dztest::ShellQuote(ini)}) {
    SCOPED_TRACE(rules);
    const TOutput out = RunAudioinfo(rules + files);
    EXPECT_EQ(out.status, SaidaOk);
    std::size_t start = 0;
    for (const std::string& line : expected) {
      EXPECT_EQ(out.text.compare(start, line.size(), line), 0) << out.text;
      start = out.text.find('\n', start) + 1;
    }
  }
  const TOutput plain = RunAudioinfo(files);
  EXPECT_EQ(plain.text.find("\"lookup\""), std::string::npos) << plain.text;
  EXPECT_NE(plain.text.find("\"seconds\":0"), std::string::npos) << plain.text;
}

TEST(Audioinfo, WrongRules) {
  TTempDir dir;
  const std::string ini = dir.File("BaseAudio.ini");
  dztest::WriteFile(ini, "[CAMINHOS]\nDE1=C:\\\n");
  const std::string cases[] = {"--mapear C: x.wav", "--mapear 'C:=rel' x.wav", "--config " + ini + " x.wav",
                               "--config " + dir.File("missing.ini") + " x.wav", "x.wav --mapear"};
  for (const std::string& arguments : cases) {
    const TOutput out = RunAudioinfo(arguments);
    EXPECT_EQ(out.status, SaidaUso) << arguments;
    EXPECT_EQ(out.text, "") << arguments;
  }
}

}  // namespace
