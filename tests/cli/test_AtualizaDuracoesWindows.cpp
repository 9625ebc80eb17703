// atualiza-duracoes on a catalogue written on Windows: drive-letter and UNC
// paths in mixed letter case with "\" separators, a Windows-1252 file name,
// over a folder of real files whose names are UTF-8 and differ in case. The
// rules of [CAMINHOS] (or --mapear) say where the Windows folders are here.

#include "tests/cli/CliTestSupport.h"
#include "cli/StatusSaida.h"
#include "cli/OpcoesLinha.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

// A catalogue path (of a NONE catalogue: Windows-1252) as the log shows it:
// in UTF-8, every backslash doubled (these paths hold no control bytes and
// no letter from 0x80 to 0x9F).
std::string Logado(const std::string& caminho) {
  std::string texto;
  for (const char c : caminho) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      texto += "\\\\";
    } else if (byte >= 0xA0) {  // a Windows-1252 letter from 0xA0 on: U+00A0 .. U+00FF in UTF-8
      texto += static_cast<char>(0xC0 | (byte >> 6));
      texto += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      texto += c;
    }
  }
  return texto;
}

using dztest::InsereMusica;
using dztest::InserePasta;
using dztest::InsereVinheta;
using dztest::LinhaDetalhada;
using dztest::Musicas;
using dztest::Roda;
using dztest::TAmostras;
using dztest::TRodada;
using dztest::TTempDir;
using dztest::TTestDatabase;
using dztest::Versoes;
using dztest::Vinhetas;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace fs = std::filesystem;

const std::string Sucesso = "Atualização realizada com sucesso.\n";
const std::string Fases =
    "Progresso: Músicas 6/6 (100%); geral 6/8 (75%)\n"
    "Progresso: Vinhetas 2/2 (100%); geral 8/8 (100%)\n";
// "Coração.mp3" as a Windows program stores it, in Windows-1252.
const std::string Coracao1252 = "Cora\xE7\xE3o.mp3";
const std::string CoracaoUtf8 = "Cora\xC3\xA7\xC3\xA3o.mp3";

std::string Junta(const std::vector<std::string>& partes) {
  std::string texto;
  for (const auto& parte : partes) texto += parte;
  return texto;
}

class AtualizaDuracoesWindows : public ::testing::Test {
protected:
  // The station's share as this machine sees it: musicas/ and vinhetas/.
  static void SetUpTestSuite() {
    amostras_ = new TAmostras;
    share_ = new TTempDir;
    for (const char* pasta : {"musicas/Samba", "musicas/Rock", "vinhetas"}) fs::create_directories(Share(pasta));
    const std::pair<const char*, std::string> copias[] = {
        {TAmostras::Tres, "musicas/Samba/Aquarela.MP3.wav"},  // a WAV file, whatever its name says
        {TAmostras::Cinco, "musicas/Samba/" + CoracaoUtf8},
        {TAmostras::Dois, "musicas/Rock/Garagem.wav"},
        {TAmostras::Dois, "musicas/Rock/Dupla.wav"},
        {TAmostras::Tres, "musicas/Rock/DUPLA.WAV"},
        {TAmostras::Cinco, "musicas/Rock/Ao Vivo.mp3"},
        {TAmostras::Tres, "vinhetas/Bip.WAV"},
        {TAmostras::Dois, "vinhetas/hora certa.wav"},
    };
    for (const auto& [amostra, destino] : copias) fs::copy_file(amostras_->Arquivo(amostra), Share(destino));
  }
  static void TearDownTestSuite() {
    delete share_;
    delete amostras_;
    share_ = nullptr;
    amostras_ = nullptr;
  }
  static std::string Share(const std::string& relativo) { return share_->Path().string() + "/" + relativo; }

  // Every way a Windows catalogue differs from the share.
  static std::string Catalogo() {
    return InserePasta(1, "C:\\MUSICAS\\samba\\") + InserePasta(2, "c:\\Musicas\\ROCK\\") +
           InsereMusica(60, "00:00", 1, "aquarela.mp3.WAV") + InsereMusica(50, "00:00", 1, Coracao1252) +
           InsereMusica(40, "00:00", 2, "garagem.wav") + InsereMusica(30, "00:00", 2, "ao vivo.MP3. ") +
           InsereMusica(20, "00:00", 2, "dupla.wav") + InsereMusica(10, "00:00", 2, "falta.wav") +
           InsereVinheta(2, "00:00", "\\\\SERVIDOR\\Vinhetas\\bip.wav") +
           InsereVinheta(1, "00:00", "\\\\servidor\\vinhetas\\HORA CERTA.WAV");
  }
  static std::vector<std::string> Caminhos() {
    return {"[CAMINHOS]", "DE1=C:\\Musicas\\", "PARA1=" + Share("musicas/"), "DE2=\\\\servidor\\vinhetas\\",
            "PARA2=" + Share("vinhetas")};
  }
  // --verbose: the catalogue's path, then the file opened (or looked for).
  static std::string Verboso() {
    const auto linha = [](const char* tabela, int codigo, const std::string& caminho, const std::string& aberto,
                          int segundos, const char* tempo, const char* motivo = nullptr) {
      return LinhaDetalhada(tabela, codigo, Logado(caminho) + " → " + Share(aberto), segundos, tempo, motivo);
    };
    return Junta({
               linha("Tb_Musicas", 60, "C:\\MUSICAS\\samba\\aquarela.mp3.WAV", "musicas/Samba/Aquarela.MP3.wav", 3,
                     "00:03"),
               linha("Tb_Musicas", 50, "C:\\MUSICAS\\samba\\" + Coracao1252, "musicas/Samba/" + CoracaoUtf8, 5,
                     "00:05"),
               linha("Tb_Musicas", 40, "c:\\Musicas\\ROCK\\garagem.wav", "musicas/Rock/Garagem.wav", 2, "00:02"),
               linha("Tb_Musicas", 30, "c:\\Musicas\\ROCK\\ao vivo.MP3. ", "musicas/Rock/Ao Vivo.mp3", 5, "00:05"),
               linha("Tb_Musicas", 20, "c:\\Musicas\\ROCK\\dupla.wav", "musicas/ROCK/dupla.wav", 0, "00:00",
                     "nome ambíguo"),
               linha("Tb_Musicas", 10, "c:\\Musicas\\ROCK\\falta.wav", "musicas/ROCK/falta.wav", 0, "00:00",
                     "arquivo inexistente"),
           }) +
           Fases.substr(0, Fases.find('\n') + 1) +
           Junta({
               linha("Tb_Vinhetas", 2, "\\\\SERVIDOR\\Vinhetas\\bip.wav", "vinhetas/Bip.WAV", 3, "00:03"),
               linha("Tb_Vinhetas", 1, "\\\\servidor\\vinhetas\\HORA CERTA.WAV", "vinhetas/hora certa.wav", 2,
                     "00:02"),
           }) +
           Fases.substr(Fases.find('\n') + 1) + Sucesso + dztest::Resumo(8, 0, 8, 0, 2);
  }
  static std::vector<std::string> MusicasDepois() {
    return {"10|0|00:00", "20|0|00:00", "30|5|00:05", "40|2|00:02", "50|5|00:05", "60|3|00:03"};
  }

  // BaseAudio.ini beside a copy of the program, CR LF as Windows writes it.
  struct TPrograma {
    TPrograma(const TTestDatabase& db, const std::vector<std::string>& linhas) {
      fs::copy_file(dztest::AtualizaPath(), Caminho());
      std::string texto = dztest::Ini({"[BANCO]", "CAMINHO=" + db.Path()});
      for (const auto& linha : linhas) texto += linha + "\r\n";
      dztest::WriteFile(Ini(), texto);
    }
    std::string Caminho() const { return casa.File("atualiza-duracoes"); }
    std::string Ini() const { return casa.File("BaseAudio.ini"); }
    TTempDir casa;
  };

  static TAmostras* amostras_;
  static TTempDir* share_;
};

TAmostras* AtualizaDuracoesWindows::amostras_ = nullptr;
TTempDir* AtualizaDuracoesWindows::share_ = nullptr;

// Every row gets its file's length; a name that two files share but for
// letter case and a name that no file has get 0 and their reasons.
TEST_F(AtualizaDuracoesWindows, FilledInThroughTheSectionCaminhos) {
  TTestDatabase db(Catalogo());
  const TPrograma programa(db, Caminhos());
  const TRodada r = Roda({"--verbose"}, programa.Caminho());
  EXPECT_EQ(r.saida, SaidaOk);
  EXPECT_EQ(r.saidaErros, "");
  EXPECT_EQ(r.saidaPadrao, Verboso());
  EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasDepois()));
  EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|2|00:02", "2|3|00:03"));
}

// Without the section nothing is translated: every row's file is missing, as
// before there were rules.
TEST_F(AtualizaDuracoesWindows, WithoutTheSectionEveryFileIsMissing) {
  TTestDatabase db(Catalogo());
  const TPrograma programa(db, {});
  const TRodada r = Roda({"--verbose"}, programa.Caminho());
  EXPECT_EQ(r.saida, SaidaOk);
  const auto inexistente = [](const char* tabela, int codigo, const std::string& caminho) {
    return LinhaDetalhada(tabela, codigo, Logado(caminho), 0, "00:00", "arquivo inexistente");
  };
  EXPECT_EQ(r.saidaPadrao,
            Junta({inexistente("Tb_Musicas", 60, "C:\\MUSICAS\\samba\\aquarela.mp3.WAV"),
                   inexistente("Tb_Musicas", 50, "C:\\MUSICAS\\samba\\" + Coracao1252),
                   inexistente("Tb_Musicas", 40, "c:\\Musicas\\ROCK\\garagem.wav"),
                   inexistente("Tb_Musicas", 30, "c:\\Musicas\\ROCK\\ao vivo.MP3. "),
                   inexistente("Tb_Musicas", 20, "c:\\Musicas\\ROCK\\dupla.wav"),
                   inexistente("Tb_Musicas", 10, "c:\\Musicas\\ROCK\\falta.wav")}) +
                Fases.substr(0, Fases.find('\n') + 1) +
                Junta({inexistente("Tb_Vinhetas", 2, "\\\\SERVIDOR\\Vinhetas\\bip.wav"),
                       inexistente("Tb_Vinhetas", 1, "\\\\servidor\\vinhetas\\HORA CERTA.WAV")}) +
                Fases.substr(Fases.find('\n') + 1) + Sucesso + dztest::Resumo(8, 0, 8, 0, 8));
  EXPECT_THAT(Musicas(db.Path()),
              ElementsAre("10|0|00:00", "20|0|00:00", "30|0|00:00", "40|0|00:00", "50|0|00:00", "60|0|00:00"));
}

// The same rules on the command line: with --database no file is read, so
// --mapear alone translates; with a file, --mapear wins over the file's rule
// for the same folder.
TEST_F(AtualizaDuracoesWindows, RulesOnTheCommandLine) {
  const std::vector<std::string> mapear = {"--mapear", "C:\\Musicas\\=" + Share("musicas/"),
                                           "--mapear=\\\\servidor\\vinhetas\\=" + Share("vinhetas")};
  {
    SCOPED_TRACE("--database and --mapear");
    TTestDatabase db(Catalogo());
    std::vector<std::string> argumentos = {"--database", db.Path(), "--verbose"};
    argumentos.insert(argumentos.end(), mapear.begin(), mapear.end());
    const TRodada r = Roda(argumentos);
    EXPECT_EQ(r.saida, SaidaOk);
    EXPECT_EQ(r.saidaPadrao, Verboso());
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasDepois()));
  }
  {
    SCOPED_TRACE("a file's rules that --mapear overrides");
    TTestDatabase db(Catalogo());
    const TPrograma programa(db, {"[CAMINHOS]", "DE1=c:\\musicas\\", "PARA1=/em/outro/lugar/", "DE2=\\\\servidor\\",
                                  "PARA2=/tambem/nao/"});
    std::vector<std::string> argumentos = {"--verbose"};
    argumentos.insert(argumentos.end(), mapear.begin(), mapear.end());
    const TRodada r = Roda(argumentos, programa.Caminho());
    EXPECT_EQ(r.saida, SaidaOk);
    EXPECT_EQ(r.saidaPadrao, Verboso());
  }
}

// A wrong section or rule: exit status 2, the reason naming the key, and the
// catalogue untouched.
TEST_F(AtualizaDuracoesWindows, WrongRulesKeepTheRunFromStarting) {
  struct TCase {
    const char* what;
    std::vector<std::string> secao;
    std::vector<std::string> argumentos;
    std::string saidaErros;  // "$INI" stands for the file beside the program
  };
  const std::string uso = std::string("\n\n") + TextoAjuda();
  const TCase cases[] = {
      {"a DE without its PARA", {"[CAMINHOS]", "DE1=C:\\Musicas\\", "PARA1=/srv/", "DE2=D:\\"}, {},
       "atualiza-duracoes: $INI: [CAMINHOS] DE2 sem PARA2\n"},
      {"a PARA without its DE", {"[CAMINHOS]", "PARA1=/srv/"}, {}, "atualiza-duracoes: $INI: [CAMINHOS] PARA1 sem DE1\n"},
      {"an empty side", {"[CAMINHOS]", "DE1=", "PARA1=/srv/"}, {}, "atualiza-duracoes: $INI: [CAMINHOS] DE1 vazio\n"},
      {"a PARA that is no absolute path", {"[CAMINHOS]", "DE1=C:\\", "PARA1=srv"}, {},
       "atualiza-duracoes: $INI: [CAMINHOS] PARA1 não é um caminho absoluto: srv\n"},
      {"an unknown key", {"[CAMINHOS]", "ORIGEM1=C:\\"}, {},
       "atualiza-duracoes: $INI: [CAMINHOS] chave desconhecida: ORIGEM1\n"},
      {"--mapear without \"=\"", {}, {"--mapear", "C:\\Musicas"},
       "atualiza-duracoes: --mapear C:\\Musicas: falta o sinal = entre DE e PARA" + uso},
      {"--mapear to a relative path", {}, {"--mapear=C:\\=musicas"},
       "atualiza-duracoes: --mapear C:\\=musicas: PARA não é um caminho absoluto: musicas" + uso},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(Catalogo());
    const std::vector<std::string> antes = Versoes(db.Path());
    const TPrograma programa(db, c.secao);
    const TRodada r = Roda(c.argumentos, programa.Caminho());
    EXPECT_EQ(r.saida, SaidaUso);
    EXPECT_EQ(r.saidaPadrao, "");
    std::string erros = c.saidaErros;
    if (const auto marca = erros.find("$INI"); marca != std::string::npos) erros.replace(marca, 4, programa.Ini());
    EXPECT_EQ(r.saidaErros, erros);
    EXPECT_THAT(Versoes(db.Path()), ElementsAreArray(antes));
  }
}

}  // namespace
