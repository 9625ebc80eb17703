// audioinfo: runs every reader on every file named and prints what each one
// found, one JSON object per file on one line. Meant for the question "why did
// this file get 00:00?".

#include "audio/ID3v1.h"
#include "audio/ID3v2.h"
#include "audio/MPEGFrameWalk.h"
#include "audio/MPEGaudio.h"
#include "audio/ReadOnlyFile.h"
#include "audio/U_Funcoes.h"
#include "audio/WAVfile.h"
#include "paths/PathMapping.h"
#include "paths/WindowsLookup.h"
#include "run/Medicao.h"
#include "run/RegrasCaminhos.h"
#include "tools/audioinfo/JsonWriter.h"
#include "tools/audioinfo/StatusSaida.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Ends with the exit statuses, named in StatusSaida.h.
constexpr const char* UsageText =
    "usage: audioinfo [--help] [--walk] [--config INI] [--mapear FROM=TO]... [--] FILE...\n"
    "\n"
    "Runs every audio reader on every FILE, whatever its extension, and prints one\n"
    "JSON object per file on one line:\n"
    "\n"
    "  {\"path\":..., \"seconds\":..., \"time\":..., \"reason\":..., \"mpeg\":{...},\n"
    "   \"wav\":{...}, \"id3v1\":{...}, \"id3v2\":{...}}\n"
    "\n"
    "\"seconds\" is the whole number of seconds the catalogue would get for the file\n"
    "(the MPEG reader for a .mp3 extension in any letter case, the WAV reader for\n"
    "any other), \"time\" its mm:ss text, \"reason\" why the file got that many\n"
    "seconds, as atualiza-duracoes --detalhado words it (\"arquivo inexistente\",\n"
    "\"meio segundo ou menos\", ...), or null when the reader's duration was taken.\n"
    "Each reader's object starts with \"loaded\",\n"
    "the result of its LoadFromFile (true when it could read what it needs), followed\n"
    "by every result of that reader under its own name.\n"
    "\n"
    "Texts are the readers' 8-bit text (Windows-1252): each byte is written as the\n"
    "character with the same code, 0 to 255 (a zero byte as \\u0000), so the exact\n"
    "bytes can be recovered. Numbers with a fraction have 17 significant digits.\n"
    "A file that cannot be read still gives a line; the readers then report false.\n"
    "\n"
    "--walk follows the MPEG stream frame by frame from its first frame (the first\n"
    "of four back to back) to the end of the audio (the whole file is read) and\n"
    "adds, after \"mpeg\":\n"
    "\n"
    "  \"walk\":{\"Frames\":..., \"Bytes\":..., \"Duration\":..., \"Resyncs\":..., \"Truncated\":...}\n"
    "\n"
    "the audio frames walked (not a frame that holds a Xing, Info or VBRI header),\n"
    "their bytes, their seconds, the damaged places passed by searching for the\n"
    "next frame, and whether the file ends inside a frame or the VBR header\n"
    "announces more than 1 % frames more than were walked. \"walk\" is null when\n"
    "there is no frame to start from (no MPEG audio, or a free-format stream).\n"
    "\n"
    "With --config (the [CAMINHOS] rules of a BaseAudio.ini) or --mapear (one rule,\n"
    "as atualiza-duracoes takes it), each FILE is a catalogue's path: it is translated\n"
    "and looked up as the update run does (letter case, Windows-1252 names), and two\n"
    "fields follow \"path\": \"lookup\" (\"exact\", \"found\", \"missing\", \"ambiguous\"\n"
    "or \"outside\", a path whose \"..\" lead out of the folder its rule maps) and\n"
    "\"opened\", the file the readers read (for \"missing\", \"ambiguous\" and\n"
    "\"outside\" the path looked for, which the update run does not read).\n"
    "\n"
    "Exit status: ";

const std::string& Usage() {
  static const std::string text = UsageText + std::to_string(SaidaOk) + ", or " + std::to_string(SaidaUso) +
                                  " when no file is named, an option is unknown or a rule is wrong.\n";
  return text;
}

std::string FourChars(const char (&id)[4]) { return std::string(id, 4); }

void WriteWalk(TJsonWriter& json, const std::string& path, const TMPEGaudio& mpeg) {
  TMPEGFrameWalk walk;
  if (!walk.LoadFromFile(path, mpeg)) {
    json.Null("walk");
    return;
  }
  json.BeginObject("walk")
      .Integer("Frames", walk.Frames)
      .Integer("Bytes", walk.Bytes)
      .Double("Duration", walk.Duration())
      .Integer("Resyncs", walk.Resyncs)
      .Bool("Truncated", walk.Truncated())
      .EndObject();
}

void WriteMpeg(TJsonWriter& json, const std::string& path, bool withWalk) {
  TMPEGaudio mpeg;
  const bool loaded = mpeg.LoadFromFile(path);
  const VBRData& vbr = mpeg.VBR;
  const FrameData& frame = mpeg.Frame;
  json.BeginObject("mpeg")
      .Bool("loaded", loaded)
      .Integer("FileLength", mpeg.FileLength)
      .Text("VendorID", mpeg.VendorID);
  json.BeginObject("VBR")
      .Bool("Found", vbr.Found)
      .Text("ID", FourChars(vbr.ID))
      .Integer("Frames", vbr.Frames)
      .Integer("Bytes", vbr.Bytes)
      .Integer("Scale", vbr.Scale)
      .Text("VendorID", vbr.VendorID)
      .EndObject();
  json.BeginObject("Frame")
      .Bool("Found", frame.Found)
      .Integer("Position", frame.Position)
      .Integer("Size", frame.Size)
      .Bool("ZeroSideInfo", frame.ZeroSideInfo)
      .Integer("VersionID", frame.VersionID)
      .Integer("LayerID", frame.LayerID)
      .Bool("ProtectionBit", frame.ProtectionBit)
      .Integer("BitRateID", frame.BitRateID)
      .Integer("SampleRateID", frame.SampleRateID)
      .Bool("PaddingBit", frame.PaddingBit)
      .Bool("PrivateBit", frame.PrivateBit)
      .Integer("ModeID", frame.ModeID)
      .Integer("ModeExtensionID", frame.ModeExtensionID)
      .Bool("CopyrightBit", frame.CopyrightBit)
      .Bool("OriginalBit", frame.OriginalBit)
      .Integer("EmphasisID", frame.EmphasisID)
      .EndObject();
  json.Text("Version", mpeg.Version())
      .Text("Layer", mpeg.Layer())
      .Text("ChannelMode", mpeg.ChannelMode())
      .Text("Emphasis", mpeg.Emphasis())
      .Integer("BitRate", mpeg.BitRate())
      .Integer("SampleRate", mpeg.SampleRate());
  // Without a frame there is no frame length to count frames by.
  if (frame.Found) json.Integer("Frames", mpeg.Frames());
  else json.Null("Frames");
  json.Double("Duration", mpeg.Duration())
      .Integer("EncoderID", mpeg.EncoderID())
      .Text("Encoder", mpeg.Encoder())
      .Bool("Valid", mpeg.Valid())
      .EndObject();
  if (withWalk) WriteWalk(json, path, mpeg);
}

void WriteWav(TJsonWriter& json, const std::string& path) {
  TWAVfile wav;
  const bool loaded = wav.LoadFromFile(path);
  json.BeginObject("wav")
      .Bool("loaded", loaded)
      .Bool("Valid", wav.Valid)
      .Integer("FormatTag", wav.FormatTag)
      .Integer("Channels", wav.Channels)
      .Integer("SampleRate", wav.SampleRate)
      .Integer("BytesPerSecond", wav.BytesPerSecond)
      .Integer("BlockAlign", wav.BlockAlign)
      .Integer("BitsPerSample", wav.BitsPerSample)
      .Integer("SampleCount", wav.SampleCount)
      .Integer("HeaderSize", wav.HeaderSize)
      .Integer("FileSize", wav.FileSize)
      .Text("ChannelMode", wav.ChannelMode())
      .Double("Duration", wav.Duration())
      .EndObject();
}

void WriteId3v1(TJsonWriter& json, const std::string& path) {
  TID3v1 tag;
  const bool loaded = tag.LoadFromFile(path);
  json.BeginObject("id3v1")
      .Bool("loaded", loaded)
      .Bool("Present", tag.Present)
      .Integer("TagVersion", tag.TagVersion)
      .Text("Title", tag.Title)
      .Text("Artist", tag.Artist)
      .Text("Album", tag.Album)
      .Text("Year", tag.Year)
      .Text("Comment", tag.Comment)
      .Integer("Track", tag.Track)
      .Integer("GenreIndex", tag.GenreIndex)
      .Text("GenreName", tag.GenreName())
      .EndObject();
}

void WriteId3v2(TJsonWriter& json, const std::string& path) {
  TID3v2 tag;
  const bool loaded = tag.LoadFromFile(path);
  json.BeginObject("id3v2")
      .Bool("loaded", loaded)
      .Bool("Present", tag.Present)
      .Integer("TagVersion", tag.TagVersion)
      .Integer("TagSize", tag.TagSize)
      .Text("Title", tag.Title)
      .Text("Artist", tag.Artist)
      .Text("Album", tag.Album)
      .Integer("Track", tag.Track)
      .Text("TrackText", tag.TrackText)
      .Text("Year", tag.Year)
      .Text("Genre", tag.Genre)
      .Text("Comment", tag.Comment)
      .Text("Composer", tag.Composer)
      .Text("EncodedBy", tag.EncodedBy)
      .Text("Copyright", tag.Copyright)
      .Text("Language", tag.Language)
      .Text("UserLink", tag.UserLink)
      .Text("FrameTRIT", tag.FrameTRIT)
      .Text("FrameTINT", tag.FrameTINT)
      .Text("FrameTEXT", tag.FrameTEXT)
      .Text("FrameTEST", tag.FrameTEST)
      .Text("FrameTIDM", tag.FrameTIDM)
      .Text("FrameTCAR", tag.FrameTCAR)
      .Text("FrameTVIN", tag.FrameTVIN)
      .Text("FrameTMXI", tag.FrameTMXI)
      .Text("FrameTMXF", tag.FrameTMXF)
      .Text("FrameTRFI", tag.FrameTRFI)
      .Text("FrameTRFF", tag.FrameTRFF)
      .Text("FrameTCAD", tag.FrameTCAD)
      .Text("FrameTSUC", tag.FrameTSUC)
      .Text("FrameTGRA", tag.FrameTGRA)
      .Text("FrameTVOC", tag.FrameTVOC)
      .Text("FrameTTPE", tag.FrameTTPE)
      .Text("FrameTPIN", tag.FrameTPIN)
      .Text("FrameTPFI", tag.FrameTPFI)
      .Text("FrameTPMI", tag.FrameTPMI)
      .Integer("Rating", tag.Rating)
      .EndObject();
}

const char* LookupName(TLookupResult result) {
  switch (result) {
    case TLookupResult::Exact: return "exact";
    case TLookupResult::Found: return "found";
    case TLookupResult::Missing: return "missing";
    case TLookupResult::Ambiguous: return "ambiguous";
    case TLookupResult::Outside: return "outside";
  }
  return "";
}

// withLookup: the path is the catalogue's, translated by the measurer's rules
// and looked up (else it is read as it is).
std::string Describe(const std::string& catalogPath, TMedidor& medidor, bool withLookup, bool withWalk) {
  TJsonWriter json;
  json.BeginObject().Text("path", catalogPath);
  // The update run's own measurement: nothing is read behind an ambiguous
  // name, nor outside the mapped folders.
  const TMedida medida = medidor.Mede(catalogPath);
  const std::string& path = medida.arquivo.Path;
  if (withLookup) json.Text("lookup", LookupName(medida.arquivo.Result)).Text("opened", path);
  json.Integer("seconds", medida.segundos).Text("time", SegundosParaTempo(medida.segundos));
  if (const char* reason = TextoMotivo(medida.motivo); *reason != '\0') json.Utf8Text("reason", reason);
  else json.Null("reason");
  WriteMpeg(json, path, withWalk);
  WriteWav(json, path);
  WriteId3v1(json, path);
  WriteId3v2(json, path);
  json.EndObject();
  return json.Result();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> paths;
  TPathMapping mapping;
  bool catalogueLookup = false;
  bool optionsEnded = false;
  bool withWalk = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
      std::fputs(Usage().c_str(), stdout);
      return SaidaOk;
    } else if (!optionsEnded && argument == "--walk") {
      withWalk = true;
    } else if (!optionsEnded && (argument == "--config" || argument == "--mapear")) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "audioinfo: %s needs a value\n\n%s", argument.c_str(), Usage().c_str());
        return SaidaUso;
      }
      const std::string value = argv[++i];
      std::string error;
      if (argument == "--mapear") {
        error = AddArgumentRule(mapping, value);
      } else if (!FileExists(value)) {
        error = "no configuration file " + value;
      } else {
        error = ReadConfiguredPathMapping(value, mapping);
      }
      if (!error.empty()) {
        std::fprintf(stderr, "audioinfo: %s\n", error.c_str());
        return SaidaUso;
      }
      catalogueLookup = true;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "audioinfo: unknown option %s\n\n%s", argument.c_str(), Usage().c_str());
      return SaidaUso;
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.empty()) {
    std::fputs(Usage().c_str(), stderr);
    return SaidaUso;
  }
  TMedidor medidor(mapping, TConferencia::Nenhuma, catalogueLookup);
  for (const std::string& path : paths) {
    const std::string line = Describe(path, medidor, catalogueLookup, withWalk) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return SaidaOk;
}
