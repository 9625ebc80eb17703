// atualiza-duracoes --reverificar: the lengths already in the catalogue
// checked against their files, reported, and with =corrigir written; files
// modified a moment ago left for the next run in every mode; the CSV report.

#include "catalogue/Catalogue.h"
#include "cli/FrenteTerminal.h"
#include "cli/RelatorioCsv.h"
#include "cli/StatusSaida.h"
#include "audio/U_Funcoes.h"
#include "run/ContextoExecucao.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/CatalogueDb.h"
#include "tests/support/SampleFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using dztest::InserePasta;
using dztest::InsereMusica;
using dztest::InsereVinheta;
using dztest::Musicas;
using dztest::Resumo;
using dztest::Roda;
using dztest::TRodada;
using dztest::TSampleSet;
using dztest::TTempDir;
using dztest::TTestDatabase;
using dztest::Vinhetas;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// Sets a file's modification time to segundos before now.
void Envelhece(const fs::path& arquivo, int segundos) {
  const auto agora = std::chrono::system_clock::now() - std::chrono::seconds(segundos);
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(agora.time_since_epoch()).count();
  const timespec tempo{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  const timespec tempos[2] = {tempo, tempo};
  ASSERT_EQ(::utimensat(AT_FDCWD, arquivo.c_str(), tempos, 0), 0) << arquivo;
}

// The report's lines, without their CR LF.
std::vector<std::string> LinhasRelatorio(const fs::path& relatorio) {
  std::ifstream entrada(relatorio, std::ios::binary);
  std::stringstream texto;
  texto << entrada.rdbuf();
  std::vector<std::string> linhas;
  const std::string todo = texto.str();
  for (std::size_t inicio = 0; inicio < todo.size();) {
    const std::size_t fim = todo.find("\r\n", inicio);
    EXPECT_NE(fim, std::string::npos) << "a line without CR LF at " << inicio;
    if (fim == std::string::npos) break;
    linhas.push_back(todo.substr(inicio, fim - inicio));
    inicio = fim + 2;
  }
  return linhas;
}

const std::string Cabecalho =
    "tabela,codigo,caminho,arquivo,segundos_antes,tempo_antes,segundos_medidos,segundos_gravados,origem,conferencia,"
    "motivo,desfecho";

// A catalogue that holds every case of the check, its files in a folder of
// the test's own, made an hour ago but for one modified 5 s ago.
class AtualizaDuracoesReverificar : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    pasta_ = new TTempDir;
    const fs::path mp3 = dztest::SampleFolder(TSampleSet::Mp3);
    const fs::path wav = dztest::SampleFolder(TSampleSet::Wav);
    const fs::path catalogo = dztest::SampleFolder(TSampleSet::Catalogue);
    const std::pair<fs::path, const char*> copias[] = {
        {catalogo / "cinco.mp3", "certo.mp3"}, {mp3 / "ffmpeg-16k.mp3", "ffmpeg 8k.mp3"},
        {wav / "ffpipe.wav", "cano, ffmpeg.wav"}, {catalogo / "tres.wav", "tres.wav"},
        {catalogo / "dois.wav", "recente.wav"}, {catalogo / "dois.wav", "novo.wav"},
        {catalogo / "cinco.mp3", "quase.mp3"}};
    for (const auto& [de, para] : copias) {
      fs::copy_file(de, pasta_->Path() / para);
      Envelhece(pasta_->Path() / para, 3600);
    }
  }
  static void TearDownTestSuite() {
    delete pasta_;
    pasta_ = nullptr;
  }
  // Before each run: the copy that is still "arriving".
  void SetUp() override { Envelhece(Arquivo("recente.wav"), 5); }

  static std::string Pasta() { return pasta_->Path().string() + "/"; }
  static fs::path Arquivo(const std::string& nome) { return pasta_->Path() / nome; }

  // Music rows from the highest key down, as the run visits them.
  static std::string Catalogo() {
    return InserePasta(1, Pasta()) +
           InsereMusica(90, "00:05", 1, "certo.mp3", "5") +          // right
           InsereMusica(80, "00:04", 1, "ffmpeg 8k.mp3", "4") +      // an older rule: 4 s for 6 s
           InsereMusica(70, Horas(), 1, "cano, ffmpeg.wav", "9000") +  // a WAV from a pipe at hours, for 3 s
           InsereMusica(60, "0:03", 1, "tres.wav", "3") +            // the seconds right, the text not
           InsereMusica(50, "03:35", 1, "sumiu.mp3", "215") +        // its file gone
           InsereMusica(40, "00:09", 1, "recente.wav", "9") +        // its file modified 5 s ago
           InsereMusica(30, "00:00", 1, "novo.wav", "0") +           // still without a length
           InsereMusica(20, "00:06", 1, "quase.mp3", "6") +          // 1 s off: the same
           InsereVinheta(1, "00:03", Pasta() + "tres.wav", "3");
  }
  static std::string Horas() { return SegundosParaTempo(9000); }
  static std::vector<std::string> MusicasAntes() {
    return {"20|6|00:06", "30|0|00:00", "40|9|00:09",       "50|215|03:35",
            "60|3|0:03",  "70|9000|" + Horas(), "80|4|00:04", "90|5|00:05"};
  }
  static std::vector<std::string> MusicasCorrigidas() {
    return {"20|6|00:06", "30|2|00:02", "40|9|00:09", "50|215|03:35", "60|3|00:03", "70|3|00:03", "80|6|00:06",
            "90|5|00:05"};
  }

  // The lines a check prints of the rows that are not right, in order.
  static std::string Relatadas(const char* nota) {
    const std::string p = Pasta();
    return "difere\tTb_Musicas\t80\t" + p + "ffmpeg 8k.mp3\t4\t00:04\t6\t" + nota + "\n" +
           "difere\tTb_Musicas\t70\t" + p + "cano, ffmpeg.wav\t9000\t" + Horas() + "\t3\t" + nota + "\n" +
           "difere\tTb_Musicas\t60\t" + p + "tres.wav\t3\t0:03\t3\t" + nota + "\n" +
           "sem medida\tTb_Musicas\t50\t" + p + "sumiu.mp3\t215\t03:35\tarquivo inexistente\n" +
           "ignorada\tTb_Musicas\t40\t" + p + "recente.wav\tarquivo modificado há menos de 10 s\n";
  }
  static std::string Fases() {
    return "Progresso: Músicas 8/8 (100%); geral 8/9 (88%)\n"
           "Progresso: Vinhetas 1/1 (100%); geral 9/9 (100%)\n"
           "Atualização realizada com sucesso.\n";
  }

  // The report's line of a music row.
  static std::string Linha(int codigo, const std::string& nome, const std::string& antes, const std::string& medidos,
                           const std::string& gravados, const std::string& origem, const std::string& motivo,
                           const std::string& desfecho) {
    const std::string caminho = Pasta() + nome;
    const std::string campo = caminho.find(',') != std::string::npos ? "\"" + caminho + "\"" : caminho;
    return "Tb_Musicas," + std::to_string(codigo) + "," + campo + "," + campo + "," + antes + "," + medidos + "," +
           gravados + "," + origem + ",," + motivo + "," + desfecho;
  }

  static TTempDir* pasta_;
};

TTempDir* AtualizaDuracoesReverificar::pasta_ = nullptr;

// The check reports and writes nothing but the row still at "00:00"; the
// corrected check writes the differing rows, and only those; a check after it
// finds nothing left to write. A missing file and a file still arriving keep
// the rows' lengths in every mode.
TEST_F(AtualizaDuracoesReverificar, ReportsThenCorrects) {
  TTestDatabase db(Catalogo());
  const TTempDir saida;
  const fs::path relatorio = saida.Path() / "relatorio.csv";
  std::vector<std::string> versoes = dztest::Versoes(db.Path());

  // The report alone: exit status 3, every row as it was but the one filled.
  {
    const TRodada r =
        Roda({"--database", db.Path(), "--reverificar", "--idade-minima", "10", "--relatorio", relatorio.string()});
    EXPECT_EQ(r.saida, SaidaAvisos) << r.saidaErros;
    EXPECT_EQ(r.saidaErros, "");
    EXPECT_EQ(r.saidaPadrao, Relatadas("não gravada") + Fases() + Resumo(9, 3, 1, 1, 1));
    std::vector<std::string> esperadas = MusicasAntes();
    esperadas[1] = "30|2|00:02";
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(esperadas));
    EXPECT_THAT(Vinhetas(db.Path()), ElementsAre("1|3|00:03"));
    // Only row 30 was written: every other row keeps its record version.
    const std::vector<std::string> depois = dztest::Versoes(db.Path());
    ASSERT_EQ(depois.size(), versoes.size());
    for (std::size_t i = 0; i < depois.size(); ++i)
      EXPECT_EQ(depois[i] == versoes[i], depois[i].rfind("M 30|", 0) != 0) << depois[i];
    versoes = depois;
    EXPECT_THAT(LinhasRelatorio(relatorio),
                ElementsAre(Cabecalho, Linha(90, "certo.mp3", "5,00:05", "5", "", "Info", "", "inalterada"),
                            Linha(80, "ffmpeg 8k.mp3", "4,00:04", "6", "", "Info", "", "difere"),
                            Linha(70, "cano, ffmpeg.wav", "9000," + Horas(), "3", "", "tamanho do WAV em disco", "",
                                  "difere"),
                            Linha(60, "tres.wav", "3,0:03", "3", "", "cabeçalho WAV", "", "difere"),
                            Linha(50, "sumiu.mp3", "215,03:35", "0", "", "—", "arquivo inexistente", "ignorada"),
                            Linha(40, "recente.wav", "9,00:09", "", "", "—", "arquivo modificado há menos de 10 s",
                                  "ignorada"),
                            Linha(30, "novo.wav", "0,00:00", "2", "2", "cabeçalho WAV", "", "gravada"),
                            Linha(20, "quase.mp3", "6,00:06", "5", "", "Info", "", "inalterada"),
                            "Tb_Vinhetas,1," + Pasta() + "tres.wav," + Pasta() +
                                "tres.wav,3,00:03,3,,cabeçalho WAV,,,inalterada"));
  }

  // Correcting in a dry run writes nothing.
  {
    SetUp();
    const TRodada r = Roda({"--database", db.Path(), "--reverificar=corrigir", "--simulacao", "--idade-minima", "10"});
    EXPECT_EQ(r.saida, SaidaAvisos) << r.saidaErros;
    // Its lines come after the verbose lines of their rows.
    std::istringstream relatadas(Relatadas("não gravada"));
    for (std::string linha; std::getline(relatadas, linha);) EXPECT_THAT(r.saidaPadrao, HasSubstr(linha + "\n"));
    EXPECT_EQ(dztest::Versoes(db.Path()), versoes);
  }

  // Correcting: the three differing rows written, each alone; the rest kept.
  {
    SetUp();
    const TRodada r = Roda(
        {"--database", db.Path(), "--reverificar=corrigir", "--idade-minima", "10", "--relatorio", relatorio.string()});
    EXPECT_EQ(r.saida, SaidaOk) << r.saidaErros;
    EXPECT_EQ(r.saidaPadrao, Relatadas("gravada") + Fases() + Resumo(9, 3, 3, 1, 1));
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasCorrigidas()));
    const std::vector<std::string> depois = dztest::Versoes(db.Path());
    for (std::size_t i = 0; i < depois.size(); ++i) {
      const bool escrita = depois[i].rfind("M 80|", 0) == 0 || depois[i].rfind("M 70|", 0) == 0 ||
                           depois[i].rfind("M 60|", 0) == 0;
      EXPECT_EQ(depois[i] == versoes[i], !escrita) << depois[i];
    }
    // The report was replaced, and tells what was written.
    const std::vector<std::string> linhas = LinhasRelatorio(relatorio);
    ASSERT_EQ(linhas.size(), 10u);
    EXPECT_EQ(linhas[2], Linha(80, "ffmpeg 8k.mp3", "4,00:04", "6", "6", "Info", "", "gravada"));
    EXPECT_EQ(linhas[4], Linha(60, "tres.wav", "3,0:03", "3", "3", "cabeçalho WAV", "", "gravada"));
  }

  // Nothing is left to write; the row whose file is gone is still reported, and kept.
  {
    SetUp();
    const TRodada r = Roda({"--database", db.Path(), "--reverificar", "--idade-minima", "10"});
    EXPECT_EQ(r.saida, SaidaOk) << r.saidaErros;
    EXPECT_EQ(r.saidaPadrao, "sem medida\tTb_Musicas\t50\t" + Pasta() + "sumiu.mp3\t215\t03:35\tarquivo inexistente\n" +
                                 "ignorada\tTb_Musicas\t40\t" + Pasta() +
                                 "recente.wav\tarquivo modificado há menos de 10 s\n" + Fases() +
                                 Resumo(9, 0, 0, 1, 1));
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(MusicasCorrigidas()));
  }
}

// The filling run leaves a file still arriving for the next run, by default;
// once it has not changed for the age asked, the next run fills its row. 0
// turns the wait off.
TEST_F(AtualizaDuracoesReverificar, FillingLeavesAFileStillArriving) {
  TTestDatabase db(InserePasta(1, Pasta()) + InsereMusica(2, "00:00", 1, "recente.wav") +
                   InsereMusica(1, "00:00", 1, "novo.wav"));
  // The program under another name, so that the tests' runner adds no
  // --idade-minima: the default is what is run.
  const TTempDir casa;
  const fs::path programa = casa.Path() / "atualiza";
  fs::copy_file(dztest::AtualizaPath(), programa);
  TRodada r = Roda({"--database", db.Path()}, programa.string());
  EXPECT_EQ(r.saida, SaidaOk) << r.saidaErros;
  EXPECT_EQ(r.saidaPadrao, "ignorada\tTb_Musicas\t2\t" + Pasta() +
                               "recente.wav\tarquivo modificado há menos de 10 s\n"
                               "Progresso: Músicas 2/2 (100%); geral 2/2 (100%)\n"
                               "Progresso: Vinhetas 0/0 (0%); geral 2/2 (100%)\n"
                               "Atualização realizada com sucesso.\n" +
                               Resumo(2, 0, 1, 1, 0));
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|2|00:02", "2|<null>|00:00"));

  // The copy ended a minute ago: the next run fills the row.
  Envelhece(Arquivo("recente.wav"), 60);
  r = Roda({"--database", db.Path()}, programa.string());
  EXPECT_EQ(r.saidaPadrao,
            "Progresso: Músicas 1/1 (100%); geral 1/1 (100%)\n"
            "Progresso: Vinhetas 0/0 (0%); geral 1/1 (100%)\n"
            "Atualização realizada com sucesso.\n" +
                Resumo(1, 0, 1, 0, 0));
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|2|00:02", "2|2|00:02"));

  // With 0 a file just written is measured at once.
  SetUp();
  TTestDatabase outro(InserePasta(1, Pasta()) + InsereMusica(1, "00:00", 1, "recente.wav"));
  r = Roda({"--database", outro.Path(), "--idade-minima", "0"}, programa.string());
  EXPECT_EQ(r.saida, SaidaOk);
  EXPECT_THAT(Musicas(outro.Path()), ElementsAre("1|2|00:02"));
}

// Names in the report: the catalogue's character set as UTF-8, escaped as in
// the log; a name with a comma or a quote in double quotes.
TEST_F(AtualizaDuracoesReverificar, NamesInTheReport) {
  struct TCase {
    const char* conjunto;
    std::string nome;     // in the set's encoding
    std::string caminho;  // the report's field of the catalogue's path
    std::string arquivo;  // and of the path looked for on the disk, whose names are UTF-8
  };
  const TCase cases[] = {
      {"WIN1252", "Can\xE7\xE3o \"ao vivo\".wav", "\"/nao/existe/Can\xC3\xA7\xC3\xA3o \"\"ao vivo\"\".wav\"",
       "\"/nao/existe/Can\\xe7\\xe3o \"\"ao vivo\"\".wav\""},
      {"UTF8", "Can\xC3\xA7\xC3\xA3o\x1B.wav", "/nao/existe/Can\xC3\xA7\xC3\xA3o\\x1b.wav",
       "/nao/existe/Can\xC3\xA7\xC3\xA3o\\x1b.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.conjunto);
    TTestDatabase db(InserePasta(1, "/nao/existe/") + InsereMusica(1, "01:00", 1, c.nome, "60"), false, 1,
                     c.conjunto);
    const TTempDir saida;
    const fs::path relatorio = saida.Path() / "r.csv";
    const TRodada r = Roda({"--database", db.Path(), "--reverificar", "--relatorio", relatorio.string()});
    EXPECT_EQ(r.saida, SaidaOk) << r.saidaErros;
    EXPECT_THAT(LinhasRelatorio(relatorio),
                ElementsAre(Cabecalho, "Tb_Musicas,1," + c.caminho + "," + c.arquivo +
                                           ",60,01:00,0,,—,,arquivo inexistente,ignorada"));
    EXPECT_THAT(Musicas(db.Path()), ElementsAre("1|60|01:00"));
  }
}

// A report that cannot be written: nothing is read from the catalogue, exit
// status 1 with the reason; a former report is replaced only once the new
// one could be made.
TEST_F(AtualizaDuracoesReverificar, ReportThatCannotBeWritten) {
  TTestDatabase db(Catalogo());
  const std::vector<std::string> antes = dztest::Versoes(db.Path());
  const TRodada r = Roda({"--database", db.Path(), "--reverificar", "--relatorio", "/nao/existe/r.csv"});
  EXPECT_EQ(r.saida, SaidaErro);
  EXPECT_EQ(r.saidaErros,
            "atualiza-duracoes: não foi possível escrever o relatório /nao/existe/r.csv: No such file or directory.\n");
  EXPECT_EQ(r.saidaPadrao, "");
  EXPECT_EQ(dztest::Versoes(db.Path()), antes);
}

// The run of the program in this process, with its front end off a terminal
// and its report; after each row it calls depois, and asks to stop once
// pararDepois rows are done.
class TFrenteComRelatorio : public TFrenteTerminal {
public:
  TFrenteComRelatorio() : TFrenteComRelatorio(std::tmpfile()) {}
  ~TFrenteComRelatorio() override { std::fclose(arquivo_); }
  TFrenteComRelatorio(const TFrenteComRelatorio&) = delete;
  TFrenteComRelatorio& operator=(const TFrenteComRelatorio&) = delete;

  void LinhaAtualizada(const TLinhaAtualizada& linha) override {
    TFrenteTerminal::LinhaAtualizada(linha);
    ++feitas;
  }
  bool Interromper() override { return feitas >= pararDepois || TFrenteTerminal::Interromper(); }

  int feitas = 0;
  int pararDepois = 1 << 30;

private:
  explicit TFrenteComRelatorio(std::FILE* arquivo) : TFrenteTerminal(arquivo, false, false), arquivo_(arquivo) {}
  std::FILE* arquivo_;
};

// A correcting check of the catalogue, with paralelo threads measuring ahead.
TPedidoExecucao Pedido(const TTestDatabase& db, int paralelo) {
  TPedidoExecucao pedido;
  pedido.arranque.banco = db.Path();
  pedido.paralelo = paralelo;
  pedido.reverificacao = TReverificacao::Corrige;
  pedido.idadeMinima = 10;
  return pedido;
}

// A stop in the middle of a correcting check: the rows before it written
// and committed, the report holding their lines and no other.
TEST_F(AtualizaDuracoesReverificar, StopInTheMiddle) {
  TTestDatabase db(Catalogo());
  const TTempDir saida;
  const fs::path relatorio = saida.Path() / "r.csv";
  TRelatorioCsv csv;
  ASSERT_EQ(csv.Abre(relatorio.string()), "");
  TFrenteComRelatorio frente;
  frente.EscreveRelatorio(&csv);
  frente.pararDepois = 3;  // rows 90, 80 and 70
  TContextoExecucao contexto(Pedido(db, 4));
  contexto.Executa(frente);
  EXPECT_EQ(contexto.Contagem().visitadas, 3);
  std::vector<std::string> esperadas = MusicasAntes();
  esperadas[5] = "70|3|00:03";
  esperadas[6] = "80|6|00:06";
  EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(esperadas));
  const std::vector<std::string> linhas = LinhasRelatorio(relatorio);
  ASSERT_EQ(linhas.size(), 4u);
  EXPECT_EQ(linhas[3], Linha(70, "cano, ffmpeg.wav", "9000," + Horas(), "3", "3", "tamanho do WAV em disco", "",
                             "gravada"));
}

// The playout edits a differing row between its measurement and its write:
// its edit stays, the row is told as not written ("Update Failed"), the
// check goes on to the end, and ends with 3.
TEST_F(AtualizaDuracoesReverificar, AnEditBetweenMeasurementAndWriteWins) {
  TTestDatabase db(Catalogo());
  TFrenteComRelatorio frente;
  TContextoExecucao contexto(Pedido(db, 1));
  int medidas = 0;
  contexto.AvisaMomentos([&](TMomento momento) {
    // The second row measured is row 80.
    if (momento == TMomento::ArquivoMedido && ++medidas == 2)
      dztest::Executa(db.Path(), {"UPDATE TB_MUSICAS SET MUS_SEGUNDOS = 7, MUS_TEMPO = '00:07' WHERE MUS_CODIGO = 80"});
  });
  contexto.Executa(frente);
  const TContagemAtualizacao& contagem = contexto.Contagem();
  EXPECT_EQ(contagem.visitadas, 9);
  EXPECT_EQ(contagem.diferentes, 3);
  EXPECT_EQ(contagem.gravadas, 3);  // 70, 60 and 30
  EXPECT_EQ(contagem.naoGravadas, 1);
  std::vector<std::string> esperadas = MusicasCorrigidas();
  esperadas[6] = "80|7|00:07";
  EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(esperadas));
  // No row is left locked: another session writes every row.
  dztest::Executa(db.Path(), {"UPDATE TB_MUSICAS SET MUS_NOME = 'x'", "UPDATE TB_VINHETAS SET VIN_NOME = 'x'"});
}

}  // namespace
