// soak: atualiza-duracoes against a catalogue of 10,000 rows on the private
// Firebird server of scripts/fbserver while another program keeps editing random rows,
// as a station's playout software does: it re-points rows to other files
// and folders, fills lengths itself, deletes rows, moves a folder and holds
// short row locks. Runs repeat until the time is up; then the other program
// stops and runs repeat until one completes. After each run every row is
// checked against what the other program last committed:
//   - a row the other program gave a length holds exactly that length;
//   - any other row still lacks a length, or holds the length the readers
//     give for the file it names now (never one of a file it named before);
//   - no row is gone that the other program did not delete, no file or
//     folder column was written by the run, no row is left locked;
//   - a run ended either with its closing message, or, after the other
//     program changed a row, with "Update Failed." or a lock conflict;
//   - each row a run reported holds the length of the file it reported.
//
//   soak [--seconds N] [--rows N] [--edits-per-second N] [--seed N]
//
// scripts/soak builds it and starts the server around it. The closing line
// gives the counts; the exit status is 0 when no check found a violation.

#include "audio/U_Funcoes.h"
#include "catalogue/Tabelas.h"
#include "cli/StatusSaida.h"
#include "tests/cli/CliTestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using dztest::TSession;
using dztest::TTempDir;
using dztest::TTestDatabase;

struct TOpcoes {
  int segundos = 60;
  int linhas = 10000;
  int edicoesPorSegundo = 20;
  unsigned semente = std::random_device{}();
};

TOpcoes LeOpcoes(int argc, char** argv) {
  TOpcoes opcoes;
  for (int i = 1; i < argc; ++i) {
    const std::string nome = argv[i];
    if (i + 1 >= argc) throw std::invalid_argument("missing value after " + nome);
    const long valor = std::strtol(argv[++i], nullptr, 10);
    if (valor <= 0) throw std::invalid_argument("not a positive number after " + nome);
    if (nome == "--seconds") opcoes.segundos = static_cast<int>(valor);
    else if (nome == "--rows") opcoes.linhas = static_cast<int>(valor);
    else if (nome == "--edits-per-second") opcoes.edicoesPorSegundo = static_cast<int>(valor);
    else if (nome == "--seed") opcoes.semente = static_cast<unsigned>(valor);
    else throw std::invalid_argument("unknown option " + nome);
  }
  return opcoes;
}

// ---- The audio files ----

// Folder A holds f01.wav .. f12.wav of 1 .. 12 s; A2 is a copy of A (the
// folder moved: its files keep their lengths); B holds the same names at
// 21 .. 32 s, so a row moved from A to B names a file of another length;
// J holds the jingles v01.wav .. v12.wav of 41 .. 52 s. The "falta" names
// are nowhere (0 s).
constexpr int ArquivosPorPasta = 12;
constexpr int Faltando = 3;

class TArquivos {
public:
  TArquivos() {
    for (const char* pasta : {"A", "A2", "B", "J"}) std::filesystem::create_directory(dir_.Path() / pasta);
    for (int n = 1; n <= ArquivosPorPasta; ++n) {
      Sox(PastaA() + Nome("f", n), n);
      Sox(PastaB() + Nome("f", n), 20 + n);
      Sox(PastaJ() + Nome("v", n), 40 + n);
      std::filesystem::copy_file(PastaA() + Nome("f", n), PastaA2() + Nome("f", n));
    }
  }
  std::string PastaA() const { return Pasta("A"); }
  std::string PastaA2() const { return Pasta("A2"); }
  std::string PastaB() const { return Pasta("B"); }
  std::string PastaJ() const { return Pasta("J"); }

  // The names a music row may carry (the last ones missing everywhere).
  static std::string NomeMusica(int i) {
    const int n = i % (ArquivosPorPasta + Faltando);
    return n < ArquivosPorPasta ? Nome("f", n + 1) : Nome("falta", n - ArquivosPorPasta + 1);
  }
  // The paths a jingle may carry: mostly the jingles, some music files of
  // folder A (a jingle moved to another folder), some missing.
  std::string CaminhoVinheta(int i) const {
    const int n = i % (2 * ArquivosPorPasta + Faltando);
    if (n < ArquivosPorPasta) return PastaJ() + Nome("v", n + 1);
    if (n < 2 * ArquivosPorPasta) return PastaA() + Nome("f", n - ArquivosPorPasta + 1);
    return PastaJ() + Nome("falta", n - 2 * ArquivosPorPasta + 1);
  }

private:
  static std::string Nome(const char* prefixo, int n) {
    char nome[32];
    std::snprintf(nome, sizeof nome, "%s%02d.wav", prefixo, n);
    return nome;
  }
  std::string Pasta(const char* nome) const { return (dir_.Path() / nome).string() + "/"; }
  static void Sox(const std::string& arquivo, int segundos) {
    const std::string comando = "sox -n -r 8000 -c 1 -b 8 " + dztest::ShellQuote(arquivo) + " synth " +
                                std::to_string(segundos) + " sine 440";
    if (dztest::RunCommand(comando) != 0) throw std::runtime_error("could not make " + arquivo);
  }

  TTempDir dir_;
};

// What the readers give for a path, measured once per path.
class TMedidas {
public:
  std::int32_t Segundos(const std::string& caminho) {
    const auto found = segundos_.find(caminho);
    if (found != segundos_.end()) return found->second;
    return segundos_[caminho] = DuracaoEmSegundos(caminho);
  }

private:
  std::map<std::string, std::int32_t> segundos_;
};

// ---- What the other program last committed ----

struct TLinha {
  bool existe = true;
  std::int32_t pasta = 0;  // music rows: PAS_CODIGO
  std::string arquivo;     // MUS_ARQUIVO, or the jingle's VIN_ARQUIVO
  std::optional<std::int32_t> segundos;  // the other program's last write of the length columns
  std::string tempo = "00:00";
};

struct TRegistro {
  std::map<std::int32_t, TLinha> musicas, vinhetas;
  std::map<std::int32_t, std::string> pastas;  // PAS_PATH by PAS_CODIGO
  std::map<std::int32_t, TLinha>& Tabela(TTabela tabela) { return tabela == TTabela::Musicas ? musicas : vinhetas; }
};

// ---- The other program ----

class TOutroPrograma {
public:
  TOutroPrograma(const std::string& banco, const TArquivos& arquivos, TRegistro& registro, const TOpcoes& opcoes)
      : banco_(banco), arquivos_(arquivos), registro_(registro), acaso_(opcoes.semente),
        intervalo_(std::chrono::microseconds(2'000'000 / opcoes.edicoesPorSegundo)) {
    for (const auto& [codigo, linha] : registro_.musicas) vivas_[0].push_back(codigo);
    for (const auto& [codigo, linha] : registro_.vinhetas) vivas_[1].push_back(codigo);
  }

  void Inicia() { fio_ = std::thread([this] { Edita(); }); }
  void Termina() {
    {
      std::lock_guard lock(mutex_);
      terminar_ = true;
    }
    sinal_.notify_all();
    if (fio_.joinable()) fio_.join();
  }
  // Waits until the other program is between two edits and keeps it there:
  // the registry then holds what the database holds.
  void Pausa() {
    std::unique_lock lock(mutex_);
    pausar_ = true;
    sinal_.wait(lock, [&] { return parado_ || !fio_.joinable(); });
  }
  void Continua() {
    {
      std::lock_guard lock(mutex_);
      pausar_ = false;
    }
    sinal_.notify_all();
  }

  std::atomic<long> edicoes{0}, recusadas{0}, travas{0}, apagadas{0}, pastasMovidas{0};

private:
  enum class TEdicao { Aponta, ApontaComDuracao, Duracao, MudaPasta, Trava, Apaga, MovePasta };

  void Edita() {
    TSession sessao(dztest::OnServer(banco_));
    std::unique_lock lock(mutex_);
    while (!terminar_) {
      if (pausar_) {
        parado_ = true;
        sinal_.notify_all();
        sinal_.wait(lock, [&] { return !pausar_ || terminar_; });
        parado_ = false;
        continue;
      }
      lock.unlock();
      UmaEdicao(sessao);
      std::this_thread::sleep_for(std::uniform_int_distribution<long>(0, intervalo_.count())(acaso_) *
                                  std::chrono::microseconds(1));
      lock.lock();
    }
    parado_ = true;
    sinal_.notify_all();
  }

  std::int32_t Sorteia(int de, int ate) { return std::uniform_int_distribution<std::int32_t>(de, ate)(acaso_); }

  TEdicao SorteiaEdicao(TTabela tabela) {
    // Weights, in the order of TEdicao; jingles have no folder to move.
    const int pesos[] = {30, 15, 15, 15, 15, 3, tabela == TTabela::Musicas ? 1 : 0};
    std::discrete_distribution<int> escolha(std::begin(pesos), std::end(pesos));
    return static_cast<TEdicao>(escolha(acaso_));
  }

  // A row the run is about to reach, when there is one: the run walks the
  // rows from the highest key down and gives each a length (0 for a missing
  // file), so its front is near the highest key still without seconds.
  std::optional<std::int32_t> PertoDaRodada(TSession& sessao, TTabela tabela) {
    const TSqlValue frente = sessao.Scalar(
        tabela == TTabela::Musicas
            ? "SELECT MAX(MUS_CODIGO) FROM TB_MUSICAS WHERE MUS_TEMPO = '00:00' AND MUS_SEGUNDOS IS NULL"
            : "SELECT MAX(VIN_CODIGO) FROM TB_VINHETAS WHERE VIN_TEMPO = '00:00' AND VIN_SEGUNDOS IS NULL");
    sessao.Commit();
    if (!std::holds_alternative<std::int32_t>(frente)) return std::nullopt;
    const std::int32_t codigo = std::get<std::int32_t>(frente) - Sorteia(0, 30);
    const auto& linhas = registro_.Tabela(tabela);
    const auto linha = linhas.find(codigo);
    if (linha == linhas.end() || !linha->second.existe) return std::nullopt;
    return codigo;
  }

  void UmaEdicao(TSession& sessao) {
    const TTabela tabela = Sorteia(0, 3) == 0 ? TTabela::Vinhetas : TTabela::Musicas;
    std::vector<std::int32_t>& vivas = vivas_[tabela == TTabela::Musicas ? 0 : 1];
    if (vivas.empty()) return;
    // Some edits meet the run where it is at work, most fall anywhere.
    const std::optional<std::int32_t> perto = Sorteia(0, 9) < 3 ? PertoDaRodada(sessao, tabela) : std::nullopt;
    std::size_t posicao = static_cast<std::size_t>(Sorteia(0, static_cast<int>(vivas.size()) - 1));
    if (perto) posicao = static_cast<std::size_t>(std::find(vivas.begin(), vivas.end(), *perto) - vivas.begin());
    const std::int32_t codigo = vivas[posicao];
    const bool musica = tabela == TTabela::Musicas;
    const std::string nomeTabela = musica ? "TB_MUSICAS" : "TB_VINHETAS";
    const std::string prefixo = musica ? "MUS_" : "VIN_";
    const std::string porChave = " WHERE " + prefixo + "CODIGO = ?";
    TLinha nova = registro_.Tabela(tabela).at(codigo);
    // Lengths of its own are far from any file's: a run that wrote over
    // one would show.
    const std::int32_t propria = Sorteia(3000, 3599);
    // Near the run, half the edits are short locks: the run meets one now and then.
    const TEdicao edicao = perto && Sorteia(0, 1) == 0 ? TEdicao::Trava : SorteiaEdicao(tabela);
    try {
      switch (edicao) {
        case TEdicao::Aponta:
        case TEdicao::ApontaComDuracao:
          nova.arquivo = musica ? TArquivos::NomeMusica(Sorteia(0, 1000)) : arquivos_.CaminhoVinheta(Sorteia(0, 1000));
          nova.segundos = edicao == TEdicao::Aponta ? std::nullopt : std::optional(propria);
          nova.tempo = edicao == TEdicao::Aponta ? "00:00" : SegundosParaTempo(propria);
          sessao.Exec("UPDATE " + nomeTabela + " SET " + prefixo + "ARQUIVO = ?, " + prefixo + "SEGUNDOS = ?, " +
                          prefixo + "TEMPO = ?" + porChave,
                      {nova.arquivo, nova.segundos ? TSqlValue(*nova.segundos) : TSqlValue(), nova.tempo, codigo});
          break;
        case TEdicao::Duracao:
          nova.segundos = propria;
          nova.tempo = SegundosParaTempo(propria);
          sessao.Exec("UPDATE " + nomeTabela + " SET " + prefixo + "SEGUNDOS = ?, " + prefixo + "TEMPO = ?" + porChave,
                      {propria, nova.tempo, codigo});
          break;
        case TEdicao::MudaPasta:  // to the other folder, or for a jingle a file in another folder; to be measured
          if (musica) {
            nova.pasta = nova.pasta == 1 ? 2 : 1;
          } else {
            nova.arquivo = arquivos_.CaminhoVinheta(ArquivosPorPasta + Sorteia(0, ArquivosPorPasta - 1));
          }
          nova.segundos.reset();
          nova.tempo = "00:00";
          sessao.Exec(musica ? "UPDATE TB_MUSICAS SET PAS_CODIGO = ?, MUS_SEGUNDOS = NULL, MUS_TEMPO = '00:00'" + porChave
                             : "UPDATE TB_VINHETAS SET VIN_ARQUIVO = ?, VIN_SEGUNDOS = NULL, VIN_TEMPO = '00:00'" + porChave,
                      {musica ? TSqlValue(nova.pasta) : TSqlValue(nova.arquivo), codigo});
          break;
        case TEdicao::Trava:  // an edit the user takes a moment over, then cancels
          sessao.Exec("UPDATE " + nomeTabela + " SET " + prefixo + "NOME = 'em edição'" + porChave, {codigo});
          std::this_thread::sleep_for(std::chrono::milliseconds(Sorteia(20, 80)));
          sessao.Rollback();
          ++travas;
          return;
        case TEdicao::Apaga:
          sessao.Exec("DELETE FROM " + nomeTabela + porChave, {codigo});
          nova.existe = false;
          break;
        case TEdicao::MovePasta: {  // folder 1 moves between A and its copy A2: its files keep their lengths
          const std::string caminho =
              registro_.pastas.at(1) == arquivos_.PastaA() ? arquivos_.PastaA2() : arquivos_.PastaA();
          sessao.Exec("UPDATE TB_PASTAS SET PAS_PATH = ? WHERE PAS_CODIGO = 1", {caminho});
          sessao.Commit();
          registro_.pastas[1] = caminho;
          ++pastasMovidas;
          ++edicoes;
          return;
        }
      }
      sessao.Commit();
    } catch (const EDatabaseError&) {
      // The run holds the row (written, not yet committed): the edit is refused, as the playout's would be.
      sessao.Rollback();
      ++recusadas;
      return;
    }
    registro_.Tabela(tabela)[codigo] = nova;
    if (!nova.existe) {
      vivas[posicao] = vivas.back();
      vivas.pop_back();
      ++apagadas;
    }
    ++edicoes;
  }

  std::string banco_;
  const TArquivos& arquivos_;
  TRegistro& registro_;
  std::mt19937 acaso_;
  std::chrono::microseconds intervalo_;  // twice the mean pause between edits
  std::vector<std::int32_t> vivas_[2];   // the keys of the rows that exist, music and jingles
  std::thread fio_;
  std::mutex mutex_;
  std::condition_variable sinal_;
  bool pausar_ = false, parado_ = false, terminar_ = false;
};

// ---- Checks ----

class TVerificacao {
public:
  TVerificacao(const std::string& banco, TRegistro& registro) : banco_(banco), registro_(registro) {}

  long linhasVerificadas = 0;
  long violacoes = 0;

  void Violacao(const std::string& texto) {
    ++violacoes;
    if (violacoes <= 30) std::fprintf(stderr, "soak: VIOLATION: %s\n", texto.c_str());
  }

  // Every row against the registry. final: after a completed run without
  // the other program, no row whose file has a length may still lack one.
  void Linhas(bool final) {
    TSession sessao(banco_);
    std::map<std::int32_t, std::string> pastas;
    for (const auto& linha : sessao.Query("SELECT PAS_CODIGO, PAS_PATH FROM TB_PASTAS")) {
      pastas[std::get<std::int32_t>(linha[0])] = dztest::Show(linha[1]);
    }
    if (pastas != registro_.pastas) Violacao("the folders are not as the other program left them");
    Tabela(sessao, TTabela::Musicas, final);
    Tabela(sessao, TTabela::Vinhetas, final);
    // Nothing left locked: every row can be updated at once, without waiting.
    for (const char* sql : {"UPDATE TB_MUSICAS SET MUS_NOME = MUS_NOME", "UPDATE TB_VINHETAS SET VIN_NOME = VIN_NOME"}) {
      try {
        sessao.Exec(sql);
      } catch (const EDatabaseError& erro) {
        Violacao(std::string("a row is left locked: ") + erro.what());
      }
    }
    sessao.Rollback();
  }

  // The run's own report: each row line holds the length of the file it names.
  void Relatorio(const std::string& saida) {
    std::istringstream linhas(saida);
    for (std::string linha; std::getline(linhas, linha);) {
      if (linha.rfind("Tb_", 0) != 0) continue;
      std::vector<std::string> campos;
      std::istringstream partes(linha);
      for (std::string campo; std::getline(partes, campo, '\t');) campos.push_back(campo);
      if (campos.size() < 5) {
        Violacao("a report line without its fields: " + linha);
        continue;
      }
      const std::int32_t segundos = medidas_.Segundos(campos[2]);
      if (campos[3] != std::to_string(segundos) || campos[4] != SegundosParaTempo(segundos)) {
        Violacao("the run reported " + campos[3] + " " + campos[4] + " for " + campos[2] + ", which lasts " +
                 std::to_string(segundos) + " s");
      }
    }
  }

private:
  void Tabela(TSession& sessao, TTabela tabela, bool final) {
    const bool musica = tabela == TTabela::Musicas;
    const dztest::TRows linhas = sessao.Query(
        musica ? "SELECT MUS_CODIGO, PAS_CODIGO, MUS_ARQUIVO, MUS_SEGUNDOS, MUS_TEMPO FROM TB_MUSICAS"
               : "SELECT VIN_CODIGO, 0, VIN_ARQUIVO, VIN_SEGUNDOS, VIN_TEMPO FROM TB_VINHETAS");
    std::map<std::int32_t, const std::vector<TSqlValue>*> porChave;
    for (const auto& linha : linhas) porChave[std::get<std::int32_t>(linha[0])] = &linha;
    for (const auto& [codigo, esperada] : registro_.Tabela(tabela)) {
      ++linhasVerificadas;
      const std::string qual = std::string(TabelaCatalogo(tabela).nome) + " " + std::to_string(codigo);
      const auto achada = porChave.find(codigo);
      if (achada == porChave.end()) {
        if (esperada.existe) Violacao(qual + " is gone");
        continue;
      }
      if (!esperada.existe) {
        Violacao(qual + " was deleted and is back");
        continue;
      }
      const std::vector<TSqlValue>& linha = *achada->second;
      if ((musica && linha[1] != TSqlValue(esperada.pasta)) || linha[2] != TSqlValue(esperada.arquivo)) {
        Violacao(qual + " names another file than the other program gave it");
        continue;
      }
      const std::string tem = dztest::Show(linha[3]) + " " + dztest::Show(linha[4]);
      const std::string daOutro =
          (esperada.segundos ? std::to_string(*esperada.segundos) : "<null>") + " " + esperada.tempo;
      if (esperada.segundos) {
        if (tem != daOutro) Violacao(qual + " holds " + tem + " over the other program's " + daOutro);
        continue;
      }
      const std::string caminho = (musica ? registro_.pastas.at(esperada.pasta) : "") + esperada.arquivo;
      const std::int32_t segundos = medidas_.Segundos(caminho);
      const std::string medida = std::to_string(segundos) + " " + SegundosParaTempo(segundos);
      if (tem != medida && (final || tem != daOutro)) {
        Violacao(qual + " holds " + tem + "; " + caminho + " gives " + medida +
                 (final ? "" : ", and the other program left " + daOutro));
      }
    }
  }

  std::string banco_;
  TRegistro& registro_;
  TMedidas medidas_;
};

// ---- The catalogue ----

// Music rows 1..(4/5 of the rows) in folders 1 (A) and 2 (B), jingles after
// them, all without a length; the registry holds the same.
std::string MontaCatalogo(const TTestDatabase& db, const TArquivos& arquivos, int linhas, TRegistro& registro) {
  registro.pastas = {{1, arquivos.PastaA()}, {2, arquivos.PastaB()}};
  const int musicas = linhas * 4 / 5;
  TSession sessao(db.Path());  // embedded, before the server opens the file
  for (const auto& [codigo, caminho] : registro.pastas) {
    sessao.Exec("INSERT INTO TB_PASTAS (PAS_CODIGO, PAS_PATH) VALUES (?, ?)", {codigo, caminho});
  }
  TFbStatement musica = TFbStatement::Prepare(
      sessao.Attachment, sessao.Transaction,
      "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_TEMPO, PAS_CODIGO, MUS_ARQUIVO) VALUES (?, ?, '00:00', ?, ?)");
  TFbStatement vinheta = TFbStatement::Prepare(
      sessao.Attachment, sessao.Transaction,
      "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_NOME, VIN_TEMPO, VIN_ARQUIVO) VALUES (?, ?, '00:00', ?)");
  for (std::int32_t codigo = 1; codigo <= linhas; ++codigo) {
    TLinha linha;
    if (codigo <= musicas) {
      linha.pasta = 1 + codigo % 2;
      linha.arquivo = TArquivos::NomeMusica(codigo);
      musica.Execute(sessao.Transaction, {codigo, "Faixa " + std::to_string(codigo), linha.pasta, linha.arquivo});
      registro.musicas[codigo] = linha;
    } else {
      linha.arquivo = arquivos.CaminhoVinheta(codigo);
      vinheta.Execute(sessao.Transaction, {codigo, "Vinheta " + std::to_string(codigo), linha.arquivo});
      registro.vinhetas[codigo] = linha;
    }
  }
  sessao.Commit();
  return dztest::OnServer(db.Path());
}

// ---- Runs ----

struct TContagem {
  long rodadas = 0, completas = 0, paradasEmLinhaMudada = 0, paradasEmTrava = 0, linhasAtualizadas = 0;
};

bool ComecaCom(const std::string& texto, const std::string& inicio) { return texto.rfind(inicio, 0) == 0; }

// One run of the program, checked.
bool Rodada(const std::string& banco, TOutroPrograma* outro, TVerificacao& verificacao, TContagem& contagem,
            bool final) {
  const long edicoesAntes = outro != nullptr ? outro->edicoes.load() : 0;
  const dztest::TRodada r = dztest::Roda({"--database", banco, "--verbose"}, dztest::AtualizaPath(), 1800);
  if (outro != nullptr) outro->Pausa();
  const long edicoesDurante = outro != nullptr ? outro->edicoes.load() - edicoesAntes : 0;
  ++contagem.rodadas;
  long linhas = 0;
  for (std::size_t at = r.saidaPadrao.find("\nTb_"); at != std::string::npos; at = r.saidaPadrao.find("\nTb_", at + 1)) {
    ++linhas;
  }
  if (ComecaCom(r.saidaPadrao, "Tb_")) ++linhas;
  contagem.linhasAtualizadas += linhas;

  bool completa = false;
  std::string como;
  if (r.saida == SaidaOk && (r.saidaPadrao.ends_with("Atualização realizada com sucesso.\n") ||
                       r.saidaPadrao.ends_with("Não há arquivos sem duração cadastradas.\n"))) {
    completa = true;
    ++contagem.completas;
    como = "completed";
  } else if (r.saida == SaidaErro && r.saidaErros == "Update Failed.\n") {
    ++contagem.paradasEmLinhaMudada;
    como = "stopped on a changed row";
    if (edicoesDurante == 0) verificacao.Violacao("a run said \"Update Failed.\" while nothing changed a row");
  } else if (r.saida == SaidaErro && ComecaCom(r.saidaErros, "deadlock\nupdate conflicts with concurrent update\n")) {
    ++contagem.paradasEmTrava;
    como = "stopped on a locked row";
  } else {
    como = "ended with exit status " + std::to_string(r.saida);
    verificacao.Violacao("a run ended with exit status " + std::to_string(r.saida) + ": " + r.saidaErros);
  }
  verificacao.Relatorio(r.saidaPadrao);
  const long antes = verificacao.violacoes;
  verificacao.Linhas(final && completa);
  std::printf("soak: run %ld %s after %ld rows (%.1f s; %ld edits meanwhile); rows checked, %ld violations\n",
              contagem.rodadas, como.c_str(), linhas, r.segundos, edicoesDurante, verificacao.violacoes - antes);
  std::fflush(stdout);
  if (outro != nullptr) outro->Continua();
  return completa;
}

// The soak's own exit statuses (scripts/soak passes them on).
constexpr int SoakSemViolacao = 0;
constexpr int SoakComViolacao = 1;
constexpr int SoakNaoRodou = 2;  // a wrong option, or the catalogue could not be made

}  // namespace

int main(int argc, char** argv) {
  try {
    const TOpcoes opcoes = LeOpcoes(argc, argv);
    std::printf("soak: %d rows, %d s of edits at about %d a second, seed %u\n", opcoes.linhas, opcoes.segundos,
                opcoes.edicoesPorSegundo, opcoes.semente);
    const TArquivos arquivos;
    TTestDatabase db({}, true);
    TRegistro registro;
    const std::string banco = MontaCatalogo(db, arquivos, opcoes.linhas, registro);
    TVerificacao verificacao(banco, registro);
    TContagem contagem;

    TOutroPrograma outro(db.Path(), arquivos, registro, opcoes);
    outro.Inicia();
    const Clock::time_point fim = Clock::now() + std::chrono::seconds(opcoes.segundos);
    while (Clock::now() < fim) Rodada(banco, &outro, verificacao, contagem, false);
    outro.Termina();

    // The other program has stopped: runs until one completes, at most a few.
    constexpr int RodadasFinais = 5;
    bool completa = false;
    for (int i = 0; i < RodadasFinais && !completa; ++i) completa = Rodada(banco, nullptr, verificacao, contagem, true);
    if (!completa) verificacao.Violacao("no run completed after the other program stopped");

    std::printf(
        "soak: %ld runs (%ld completed, %ld stopped on a changed row, %ld on a locked row), %ld rows written, "
        "%ld edits by the other program (%ld refused while the run held the row, %ld short locks, %ld deletes, "
        "%ld folder moves), %ld rows checked, violations: %ld\n",
        contagem.rodadas, contagem.completas, contagem.paradasEmLinhaMudada, contagem.paradasEmTrava,
        contagem.linhasAtualizadas, outro.edicoes.load(), outro.recusadas.load(), outro.travas.load(),
        outro.apagadas.load(), outro.pastasMovidas.load(), verificacao.linhasVerificadas, verificacao.violacoes);
    return verificacao.violacoes == 0 ? SoakSemViolacao : SoakComViolacao;
  } catch (const std::exception& erro) {
    std::fprintf(stderr, "soak: %s\n", erro.what());
    return SoakNaoRodou;
  }
}
