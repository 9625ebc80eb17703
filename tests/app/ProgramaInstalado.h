#pragma once

// The window program as a process, for the tests that start it: a copy of it
// beside its own BaseAudio.ini, the engine folders it makes, and what the
// test window (dz_janela_teste) reports of its bars.

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

namespace dztest {

// A copy of a program in a folder of its own, beside a BaseAudio.ini that names the catalogue.
class TInstalado {
public:
  // linhasBanco: more lines of the section BANCO, each with its "\r\n".
  TInstalado(const std::string& origem, const std::string& banco, const std::string& linhasBanco = "")
      : programa_(pasta_.File("programa")) {
    std::filesystem::copy_file(origem, programa_);
    WriteFile(pasta_.File("BaseAudio.ini"), "[BANCO]\r\nCAMINHO=" + banco + "\r\n" + linhasBanco);
  }
  const std::string& Programa() const { return programa_; }

private:
  TTempDir pasta_;
  std::string programa_;
};

// The program's engine configuration folders (EngineSettings.h) in a
// folder, which may hold others (the toolkit's, the test's process helper's).
inline int PastasDoMotor(const std::filesystem::path& pasta) {
  int pastas = 0;
  for (const auto& entrada : std::filesystem::directory_iterator(pasta))
    pastas += entrada.path().filename().string().starts_with("derozavizirizid-firebird.");
  return pastas;
}

// The highest progress the overall bar was painted with, from the test window's report.
inline int MaiorProgresso(const std::string& relato) {
  static const std::regex pintura("GaugeGeral (\\d+)");
  int maior = 0;
  for (auto it = std::sregex_iterator(relato.begin(), relato.end(), pintura); it != std::sregex_iterator(); ++it)
    maior = std::max(maior, std::stoi((*it)[1]));
  return maior;
}

}  // namespace dztest
