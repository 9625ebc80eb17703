// The whole update run against its floor, on the embedded engine.
//
// A catalogue of 10,000 music rows and 1,000 jingle rows (--size 11000), or
// ten times that (--size 110000), all with time "00:00", points at the
// benchmark corpus (MP3 and WAV; about one row in a hundred at a file that
// does not exist). Each round updates three fresh copies of it, one by each
// side, in a process of its own:
//   window      TCatalogo + TAtualizacao::Executa as the window runs it, with
//               its files measured ahead on ParaleloPadrao threads
//               (TMedicaoAntecipada), with a front end that does nothing: attach, open, fetch, measure every file, write and
//               commit with retention row by row, commit, detach;
//   companion   the same with atualiza-duracoes' --paralelo N;
//   floor       the same modify statements through the same client layer and
//               transaction, with the values the run writes, one commit with
//               retention per row, and no file measured.
// The order of the sides turns from round to round; the medians give rows per
// second and the ratio of the times, the spread their lowest and highest. Each
// side also times every tenth of its rows, so that a cost per row that grows
// along the run shows. Peak memory is each process's maximum resident set
// (wait4). After every side a check compares what the database holds with
// what was expected. Then, left out of the medians, the run and the floor once
// more timed step by step, the run with its files' seconds looked up instead
// of measured, and the measuring alone show where the time goes.
//
// The engine is loaded only in child processes: a process that has started
// its threads cannot be forked safely. A plain main, not Google Benchmark: one
// iteration takes seconds and each needs a process and a database of its own.
//
//   bench_update [--workdir DIR] [--corpus DIR] [--files DIR] [--size 11000|110000]
//                [--rounds N] [--music N] [--jingles N] [--paralelo N] [--target RATIO]
//                [--target-window RATIO] [--no-steps] [--sides window,companion,floor] [--reverify]
//
// --reverify times the companion's check of the lengths written instead: a
// run of --reverificar on the catalogue with every row holding its file's
// length (nothing to write), against its baseline, a --simulacao filling run
// on the catalogue with every row at "00:00"; the same rounds, fresh copies
// and turns, and the same report with the baseline in the floor's place.
//
// The corpus defaults to DIR/../corpus, the reader benchmark's own when run by
// scripts/bench (made there once if missing). --files names the folder the
// catalogue points at instead of the corpus (the corpus seen through another
// file system, such as a slow share); --target the ratio each side that
// measures files should keep to (default 1.03), --target-window the window
// side's when it has another.

#include "run/ContextoExecucao.h"
#include "audio/U_Funcoes.h"
#include "bench/BenchCorpus.h"
#include "bench/ChildProcess.h"
#include "bench/UpdateReport.h"
#include "catalogue/Catalogue.h"
#include "catalogue/EngineSettings.h"
#include "tests/support/CatalogueDb.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// ---- Options ----

struct TOptions {
  fs::path workdir = "bench-update";
  fs::path corpus;  // empty: workdir/../corpus
  fs::path files;   // empty: the corpus
  int rounds = 0;   // 0: by size
  int music = 10000;
  int jingles = 1000;
  int paralelo = ParaleloPadrao;
  double target = 1.03;
  double windowTarget = 0;  // 0: target
  bool steps = true;
  std::vector<std::string> sides = {"window", "companion", "floor"};
  bool reverify = false;  // the check of the lengths written against a dry run instead
};

// Rounds unless --rounds says: enough for a median at the small size, a few
// minutes each at the large one.
constexpr int RoundsSmall = 7;
constexpr int RoundsLarge = 3;

int PositiveNumber(const char* text, const char* option) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 1000000) {
    throw std::runtime_error(std::string(option) + " needs a number from 1 to 1000000");
  }
  return static_cast<int>(value);
}

// "window,floor": the sides to run, of window, companion and floor.
std::vector<std::string> SideNames(const std::string& list) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t end = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, end - start);
    if (name != "window" && name != "companion" && name != "floor")
      throw std::runtime_error("--sides takes window, companion and floor, not \"" + name + "\"");
    names.push_back(name);
    start = end + 1;
  }
  return names;
}

constexpr const char* Usage =
    "bench_update [--workdir DIR] [--corpus DIR] [--files DIR] [--size 11000|110000] [--rounds N]\n"
    "             [--music N] [--jingles N] [--paralelo N] [--target RATIO] [--target-window RATIO] [--no-steps]\n"
    "             [--sides window,companion,floor] [--reverify]";

TOptions ReadOptions(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help") {
      std::puts(Usage);
      std::exit(0);
    }
    if (option == "--no-steps") {
      options.steps = false;
      continue;
    }
    if (option == "--reverify") {
      options.reverify = true;
      continue;
    }
    if (i + 1 >= argc) throw std::runtime_error("unknown option or missing value: " + option);
    const char* value = argv[++i];
    if (option == "--workdir") options.workdir = value;
    else if (option == "--corpus") options.corpus = value;
    else if (option == "--files") options.files = value;
    else if (option == "--rounds") options.rounds = PositiveNumber(value, "--rounds");
    else if (option == "--music") options.music = PositiveNumber(value, "--music");
    else if (option == "--jingles") options.jingles = PositiveNumber(value, "--jingles");
    else if (option == "--paralelo") options.paralelo = std::min(PositiveNumber(value, "--paralelo"), ParaleloMaximo);
    else if (option == "--target") options.target = std::atof(value);
    else if (option == "--target-window") options.windowTarget = std::atof(value);
    else if (option == "--sides") options.sides = SideNames(value);
    else if (option == "--size") {
      // Ten music rows to each jingle, as in a station's catalogue.
      const int size = PositiveNumber(value, "--size");
      if (size % 11 != 0) throw std::runtime_error("--size needs a multiple of 11 (11000, 110000)");
      options.music = size / 11 * 10;
      options.jingles = size / 11;
    } else {
      throw std::runtime_error("unknown option: " + option);
    }
  }
  if (options.rounds == 0) options.rounds = options.music + options.jingles > 20000 ? RoundsLarge : RoundsSmall;
  options.workdir = fs::absolute(options.workdir).lexically_normal();
  options.corpus = options.corpus.empty() ? options.workdir.parent_path() / "corpus"
                                          : fs::absolute(options.corpus).lexically_normal();
  options.files = options.files.empty() ? options.corpus : fs::absolute(options.files).lexically_normal();
  return options;
}

// ---- The catalogue's rows ----

// A row as the bench inserts it, with the value the run must write back.
struct TPlannedRow {
  std::int32_t key;
  std::int32_t folder;   // music rows: PAS_CODIGO
  std::string file;      // music rows: MUS_ARQUIVO (the name in the folder); jingles: VIN_ARQUIVO (full path)
  std::int32_t seconds;  // what the run's measuring gives for the row's path
  std::string tempo;     // SegundosParaTempo(seconds)
};

constexpr std::int32_t CorpusFolder = 1;
constexpr std::int32_t MissingFolder = 2;
constexpr int MissingEvery = 97;  // every 97th row of each table names a file that does not exist

struct TPlan {
  std::string corpusFolder;   // PAS_PATH of folder 1, with its trailing separator
  std::string missingFolder;  // PAS_PATH of folder 2, a folder that does not exist
  // In the order the run visits them: key descending.
  std::vector<TPlannedRow> music;
  std::vector<TPlannedRow> jingles;
  int mp3Files = 0;
  int wavFiles = 0;
  int missingRows = 0;
  int zeroRows = 0;  // rows that get 0 seconds ("00:00"), missing files included
  std::map<std::string, std::int32_t> secondsByPath;
};

TPlan MakePlan(const TOptions& options, const std::vector<std::string>& corpus) {
  TPlan plan;
  plan.corpusFolder = options.files.string() + "/";
  plan.missingFolder = (options.workdir / "no-such-folder").string() + "/";
  for (const std::string& path : corpus) (MedidoPeloMPEG(path) ? plan.mp3Files : plan.wavFiles)++;
  // Each file measured once here: the expected values, and a warm page cache
  // for the corpus, as it stays for every round after the first anyway.
  std::map<std::string, std::int32_t>& seconds = plan.secondsByPath;
  TMedidor medidor;  // as the run measures, without rules
  auto measure = [&](const std::string& path) {
    auto found = seconds.find(path);
    if (found == seconds.end()) found = seconds.emplace(path, medidor.Mede(path).segundos).first;
    return found->second;
  };
  const std::size_t count = corpus.size();
  for (std::int32_t key = options.music; key >= 1; --key) {
    TPlannedRow row{key, CorpusFolder, {}, 0, {}};
    if (key % MissingEvery == 0) {
      row.folder = MissingFolder;
      row.file = "faixa" + std::to_string(key) + ".mp3";
      ++plan.missingRows;
    } else {
      row.file = fs::path(corpus[static_cast<std::size_t>(key) % count]).filename().string();
    }
    row.seconds = measure((row.folder == CorpusFolder ? plan.corpusFolder : plan.missingFolder) + row.file);
    row.tempo = SegundosParaTempo(row.seconds);
    plan.music.push_back(std::move(row));
  }
  for (std::int32_t key = options.jingles; key >= 1; --key) {
    TPlannedRow row{key, 0, {}, 0, {}};
    if (key % MissingEvery == 0) {
      row.file = plan.missingFolder + "vinheta" + std::to_string(key) + ".wav";
      ++plan.missingRows;
    } else {
      row.file = plan.corpusFolder + fs::path(corpus[(static_cast<std::size_t>(key) * 7) % count]).filename().string();
    }
    row.seconds = measure(row.file);
    row.tempo = SegundosParaTempo(row.seconds);
    plan.jingles.push_back(std::move(row));
  }
  for (const auto* rows : {&plan.music, &plan.jingles})
    for (const TPlannedRow& row : *rows) plan.zeroRows += row.seconds == 0;
  return plan;
}

// ---- The catalogue database ----

// Fills an empty catalogue (made from the schema script) as the other program
// would: one prepared insert per table, one transaction. Reports the
// forced-writes setting, the page buffers and the page size.
// With lengths, every row holds what its file measures (a row whose file
// gives 0, MissingSeconds), as a run left it; else every row is at "00:00".
constexpr std::int32_t MissingSeconds = 180;
void FillCatalogue(const fs::path& database, const TPlan& plan, TChildReport& report, bool lengths = false) {
  const auto seconds = [lengths](const TPlannedRow& row) {
    return lengths ? (row.seconds > 0 ? row.seconds : MissingSeconds) : 0;
  };
  dztest::TSession session(database.string());
  session.Exec("INSERT INTO TB_PASTAS (PAS_CODIGO, PAS_PATH) VALUES (?, ?)", {CorpusFolder, plan.corpusFolder});
  session.Exec("INSERT INTO TB_PASTAS (PAS_CODIGO, PAS_PATH) VALUES (?, ?)", {MissingFolder, plan.missingFolder});

  TFbStatement music = TFbStatement::Prepare(
      session.Attachment, session.Transaction,
      "INSERT INTO TB_MUSICAS (MUS_CODIGO, MUS_NOME, MUS_INTERPRETE, MUS_TEMPO, MUS_TIPO, MUS_ALBUM, MUS_ANO, "
      "MUS_FAIXA, MUS_SUCESSO, MUS_NOMECOMPLETO, GEN_CODIGO, SUB_CODIGO, RIT_CODIGO, VOC_CODIGO, GRA_CODIGO, "
      "IDI_CODIGO, PAS_CODIGO, MUS_ARQUIVO, MUS_COMPOSITOR, MUS_TIPOPERIODO, MUS_PERIODOINICIO, MUS_PERIODOFIM, "
      "MUS_SEGUNDOS) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  for (const TPlannedRow& row : plan.music) {
    const std::string name = "Faixa " + std::to_string(row.key);
    const std::string artist = "Banda da Rua " + std::to_string(row.key % 50);
    music.Execute(session.Transaction,
                  {row.key, name, artist, SegundosParaTempo(seconds(row)), std::string("M"), std::string("Ao Vivo no Bairro"), 1990 + row.key % 30,
                   row.key % 20 + 1, std::string("N"), artist + " - " + name, row.key % 12, row.key % 40,
                   row.key % 8, row.key % 4, row.key % 6, row.key % 3, row.folder, row.file,
                   std::string("Compositor da Casa"), std::string("N"), std::string("00:00"), std::string("23:59"),
                   seconds(row)});
  }
  TFbStatement jingle = TFbStatement::Prepare(session.Attachment, session.Transaction,
                                              "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_NOME, VIN_TEMPO, VIN_TIPO, "
                                              "VIN_ARQUIVO, CAV_CODIGO, VIN_SEGUNDOS) VALUES (?, ?, ?, ?, ?, ?, ?)");
  for (const TPlannedRow& row : plan.jingles) {
    jingle.Execute(session.Transaction,
                   {row.key, "Vinheta " + std::to_string(row.key), SegundosParaTempo(seconds(row)), std::string("V"),
                    row.file, row.key % 10, seconds(row)});
  }
  music.Free();
  jingle.Free();
  session.Commit();

  const dztest::TRows settings =
      session.Query("SELECT MON$FORCED_WRITES, MON$PAGE_BUFFERS, MON$PAGE_SIZE FROM MON$DATABASE");
  if (settings.size() != 1) throw std::runtime_error("MON$DATABASE gave no row");
  for (int i = 0; i < 3; ++i) {
    const TSqlValue& value = settings[0][static_cast<std::size_t>(i)];
    report.values[i] = std::holds_alternative<std::int32_t>(value) ? std::get<std::int32_t>(value) : -1;
  }
  report.rows = static_cast<long>(plan.music.size() + plan.jingles.size());
}

// A fresh copy of the filled catalogue, on disk before the side starts, so
// that the first commit of a side does not pay for writing the copy.
void FreshCopy(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  const int file = ::open(to.c_str(), O_RDWR);
  if (file < 0 || ::fsync(file) != 0) throw std::runtime_error("cannot write " + to.string());
  ::close(file);
}

// Compares every row of both tables with the plan; reports the rows that differ.
void CheckCatalogue(const fs::path& database, const TPlan& plan, TChildReport& report) {
  dztest::TSession session(database.string());
  long wrong = 0;
  long checked = 0;
  auto compare = [&](const std::string& sql, const std::vector<TPlannedRow>& rows) {
    const dztest::TRows found = session.Query(sql);
    for (std::size_t i = 0; i < found.size(); ++i) {
      const bool same = i < rows.size() && found[i][0] == TSqlValue(rows[i].key) &&
                        found[i][1] == TSqlValue(rows[i].seconds) && found[i][2] == TSqlValue(rows[i].tempo);
      wrong += !same;
    }
    checked += static_cast<long>(found.size());
    wrong += static_cast<long>(rows.size() > found.size() ? rows.size() - found.size() : 0);
  };
  compare("SELECT MUS_CODIGO, MUS_SEGUNDOS, MUS_TEMPO FROM TB_MUSICAS ORDER BY MUS_CODIGO DESC", plan.music);
  compare("SELECT VIN_CODIGO, VIN_SEGUNDOS, VIN_TEMPO FROM TB_VINHETAS ORDER BY VIN_CODIGO DESC", plan.jingles);
  report.rows = checked;
  report.values[0] = wrong;
}

// ---- The two sides ----

// Times each tenth of a side's rows: the clock is read as a tenth's last row
// ends, so a side pays one clock read per tenth.
class TTenths {
public:
  TTenths(long rows, double* seconds) : rows_(rows), seconds_(seconds) {}
  void Start() { mark_ = Clock::now(); }
  void RowDone() {
    ++done_;
    if (tenth_ < Tenths && done_ == rows_ * (tenth_ + 1) / Tenths) {
      const Clock::time_point now = Clock::now();
      seconds_[tenth_++] = std::chrono::duration<double>(now - mark_).count();
      mark_ = now;
    }
  }

private:
  long rows_;
  double* seconds_;
  long done_ = 0;
  int tenth_ = 0;
  Clock::time_point mark_;
};

// A front end that shows nothing: the bars keep their numbers only because the
// run reads its progress back.
class TFrenteMuda : public TFrenteContada {
public:
  explicit TFrenteMuda(TTenths& tenths) : tenths_(tenths) {}
  void LinhaAtualizada(const TLinhaAtualizada&) override { tenths_.RowDone(); }

private:
  TTenths& tenths_;
};

// The run of a side, as both programs ask for theirs: the benchmark's
// catalogue by name (no configuration file), every row written, no check.
// medicao: a measurer of the benchmark's own instead of the programs'.
TPedidoExecucao Pedido(const fs::path& database, int paralelo, TMedicao* medicao) {
  TPedidoExecucao pedido;
  pedido.arranque.banco = database.string();
  pedido.paralelo = paralelo;
  pedido.medicao = medicao;
  return pedido;
}

// The companion's two runs that read every file and write nothing on a
// catalogue whose lengths are right: the check of the lengths written
// (--reverificar) on a filled catalogue, and the dry run of the filling run
// (--simulacao) on one with every row at "00:00". Both with --paralelo's
// threads and the companion's default --idade-minima. values[0..2]: the
// rows that differ, the rows written, the rows whose file measured 0.
void CompanionPass(const fs::path& database, int paralelo, bool reverify, long rows, TChildReport& report) {
  TTenths tenths(rows, report.tenths);
  TFrenteMuda frente(tenths);
  const TEngineSettings motor = ApplyCatalogueEngineSettings();  // as in UpdateRun
  TPedidoExecucao pedido = Pedido(database, paralelo, nullptr);
  pedido.modo = reverify ? TModoAtualizacao::Gravacao : TModoAtualizacao::Simulacao;
  pedido.reverificacao = reverify ? TReverificacao::Relata : TReverificacao::Nenhuma;
  pedido.idadeMinima = 10;
  const Clock::time_point start = Clock::now();
  tenths.Start();
  TContagemAtualizacao contagem;
  {
    TContextoExecucao contexto(pedido);
    contexto.Executa(frente);
    contagem = contexto.Contagem();
  }
  report.seconds = SecondsSince(start);
  report.rows = contagem.visitadas;
  report.values[0] = contagem.diferentes;
  report.values[1] = contagem.gravadas;
  report.values[2] = contagem.semMedida;
}

// The update run as the window runs it (paralelo ParaleloPadrao), or as
// atualiza-duracoes runs it with its files measured ahead on paralelo threads
// (1: each file measured as its row comes).
void UpdateRun(const fs::path& database, int paralelo, long rows, TChildReport& report) {
  TTenths tenths(rows, report.tenths);
  TFrenteMuda frente(tenths);
  // The programs' engine settings, made before the clock starts as both
  // programs make them before their runs (this process has not called the
  // client library yet: the catalogue was filled and checked by others).
  const TEngineSettings motor = ApplyCatalogueEngineSettings();
  if (!motor.Applied()) std::fprintf(stderr, "engine settings not applied: %s\n", motor.Reason().c_str());
  const Clock::time_point start = Clock::now();
  tenths.Start();
  {
    TContextoExecucao contexto(Pedido(database, paralelo, nullptr));
    contexto.Executa(frente);
  }  // commits and detaches
  report.seconds = SecondsSince(start);
  report.rows = frente.Progresso(TBarra::Geral);
}

// The values of the modify statement's parameters, by name: the new length,
// and the row as it was fetched (key, file, folder and the folder's path).
std::vector<TSqlValue> ModifyValues(const TUpdateSQL& update, const TPlan& plan, const TPlannedRow& row) {
  std::vector<TSqlValue> values;
  for (const std::string& name : update.ParameterNames()) {
    if (name.ends_with("_SEGUNDOS")) values.emplace_back(row.seconds);
    else if (name.ends_with("_TEMPO")) values.emplace_back(row.tempo);
    else if (name == "OLD_PAS_CODIGO") values.emplace_back(row.folder);
    else if (name == "OLD_PAS_PATH") values.emplace_back(row.folder == CorpusFolder ? plan.corpusFolder : plan.missingFolder);
    else if (name.starts_with("OLD_") && name.ends_with("_CODIGO")) values.emplace_back(row.key);
    else if (name.starts_with("OLD_") && name.ends_with("_ARQUIVO")) values.emplace_back(row.file);
    else throw std::runtime_error("unexpected parameter " + name + " in " + update.Name());
  }
  return values;
}

// The floor: the run's components without queries and without files. The
// values are bound before the clock starts.
void Floor(const fs::path& database, const TPlan& plan, TChildReport& report) {
  long rows = 0;
  TTenths tenths(static_cast<long>(plan.music.size() + plan.jingles.size()), report.tenths);
  TDatabase connection("DB_Velmar", database.string());
  TTransaction transaction("Trans_Velmar", connection);
  auto up = std::make_unique<TUpdateSQL>("Up_Musicas", connection, transaction, MusicasModifySql);
  auto upVinhetas = std::make_unique<TUpdateSQL>("Up_Vinhetas", connection, transaction, VinhetasModifySql);
  std::vector<std::vector<TSqlValue>> musicValues, jingleValues;
  for (const TPlannedRow& row : plan.music) musicValues.push_back(ModifyValues(*up, plan, row));
  for (const TPlannedRow& row : plan.jingles) jingleValues.push_back(ModifyValues(*upVinhetas, plan, row));

  const Clock::time_point start = Clock::now();
  tenths.Start();
  connection.Connect();
  transaction.StartTransaction();
  for (const auto& values : musicValues) {
    if (up->ExecModify(values) != 1) throw std::runtime_error("floor: a music row was not updated");
    transaction.CommitRetaining();
    ++rows;
    tenths.RowDone();
  }
  for (const auto& values : jingleValues) {
    if (upVinhetas->ExecModify(values) != 1) throw std::runtime_error("floor: a jingle row was not updated");
    transaction.CommitRetaining();
    ++rows;
    tenths.RowDone();
  }
  // As when the catalogue goes: statements dropped, the transaction
  // committed, then the detach.
  up.reset();
  upVinhetas.reset();
  transaction.Commit();
  connection.Close();
  report.seconds = SecondsSince(start);
  report.rows = rows;
}

// ---- Step by step ----

// Seconds known beforehand, given as the measurement of each path: the run
// without its files.
class TMedicaoConhecida final : public TMedicao {
public:
  explicit TMedicaoConhecida(const std::map<std::string, std::int32_t>& segundos) : segundos_(segundos) {}
  void Inicia(std::function<std::string(int)>, int, std::shared_ptr<TFolderCache>) override {}
  TMedida Mede(int, const std::string& caminho) override {
    TMedida medida;
    medida.arquivo = {TLookupResult::Exact, caminho};
    medida.segundos = segundos_.at(caminho);
    return medida;
  }
  void Encerra() noexcept override {}

private:
  const std::map<std::string, std::int32_t>& segundos_;
};

// TAtualizacao::Executa as the window runs it, its files measured ahead on
// ParaleloPadrao threads (its front end does nothing), the time between each
// of the moments it tells (TMomento) laid to its step: "measure the file" is
// then what the run's thread spends taking a row's measurement. With known,
// the seconds of a path are looked up instead of measured: the run without
// its files.
void UpdateRunInSteps(const fs::path& database, const std::map<std::string, std::int32_t>* known,
                      TChildReport& report) {
  const TEngineSettings motor = ApplyCatalogueEngineSettings();  // as in UpdateRun
  double* steps = report.steps;
  Clock::time_point mark = Clock::now();
  const Clock::time_point start = mark;
  auto lap = [&](TStep step) {
    const Clock::time_point now = Clock::now();
    steps[step] += std::chrono::duration<double>(now - mark).count();
    mark = now;
  };
  // Read outside the laps.
  auto note = [&](TMemoryPoint point) {
    report.memory[point][0] = static_cast<double>(StatusField("VmRSS")) / 1024.0;
    report.memory[point][1] = static_cast<double>(StatusField("VmHWM")) / 1024.0;
    report.memory[point][2] = HeapMegabytes();
    mark = Clock::now();
  };
  double unused[Tenths] = {};
  TTenths tenths(1, unused);
  TFrenteMuda frente(tenths);
  {
    std::optional<TMedicaoConhecida> conhecida;
    if (known != nullptr) conhecida.emplace(*known);
    TContextoExecucao contexto(Pedido(database, ParaleloPadrao, conhecida ? &*conhecida : nullptr));
    contexto.Catalogo().DB_Velmar.Connect();
    lap(Connect);
    note(Attached);
    bool musicOpened = false;
    contexto.AvisaMomentos([&](TMomento momento) {
      switch (momento) {
        case TMomento::ConsultaAberta:
          if (!std::exchange(musicOpened, true)) {
            lap(SelectFetch);
            note(MusicOpened);
          }
          break;
        case TMomento::ConsultasLidas:
          lap(SelectFetch);
          note(Fetched);
          break;
        case TMomento::LinhaInicia: lap(Other); break;
        case TMomento::ArquivoMedido: lap(Measure); break;
        case TMomento::LinhaEditada: lap(Edit); break;
        case TMomento::LinhaGravada: lap(Write); break;
        case TMomento::LinhaConfirmada:
          lap(Commit);
          ++report.rows;
          break;
      }
    });
    contexto.Executa(frente);
    lap(Other);
    note(LastRow);
  }
  lap(Close);
  report.seconds = SecondsSince(start);
}

void FloorInSteps(const fs::path& database, const TPlan& plan, TChildReport& report) {
  TDatabase connection("DB_Velmar", database.string());
  TTransaction transaction("Trans_Velmar", connection);
  TUpdateSQL up("Up_Musicas", connection, transaction, MusicasModifySql);
  TUpdateSQL upVinhetas("Up_Vinhetas", connection, transaction, VinhetasModifySql);
  connection.Connect();
  transaction.StartTransaction();
  Clock::time_point mark = Clock::now();
  auto lap = [&](TStep step) {
    const Clock::time_point now = Clock::now();
    report.steps[step] += std::chrono::duration<double>(now - mark).count();
    mark = now;
  };
  for (const auto& [update, rows] : {std::pair<TUpdateSQL*, const std::vector<TPlannedRow>*>{&up, &plan.music},
                                     std::pair<TUpdateSQL*, const std::vector<TPlannedRow>*>{&upVinhetas, &plan.jingles}}) {
    for (const TPlannedRow& row : *rows) {
      const std::vector<TSqlValue> values = ModifyValues(*update, plan, row);
      lap(Other);
      if (update->ExecModify(values) != 1) throw std::runtime_error("floor: a row was not updated");
      lap(FloorUpdate);
      transaction.CommitRetaining();
      lap(FloorCommit);
      ++report.rows;
    }
  }
}

// The files alone: every row's path measured as the run measures it.
void MeasureOnly(const TPlan& plan, TChildReport& report) {
  const Clock::time_point start = Clock::now();
  long total = 0;
  TMedidor medidor;
  for (const TPlannedRow& row : plan.music)
    total += medidor.Mede((row.folder == CorpusFolder ? plan.corpusFolder : plan.missingFolder) + row.file).segundos;
  for (const TPlannedRow& row : plan.jingles) total += medidor.Mede(row.file).segundos;
  report.seconds = SecondsSince(start);
  report.values[0] = total;
  report.rows = static_cast<long>(plan.music.size() + plan.jingles.size());
}

// ---- The rounds ----

void CheckSide(const char* side, const fs::path& database, const TPlan& plan) {
  const TChildResult check = InChild("check", [&](TChildReport& report) { CheckCatalogue(database, plan, report); });
  if (check.report.values[0] != 0) {
    throw std::runtime_error(std::string(side) + ": " + std::to_string(check.report.values[0]) + " of " +
                             std::to_string(check.report.rows) + " rows do not hold the expected values");
  }
}

// The check of the lengths written (re-check) against the dry run of the
// filling run (baseline), each round on fresh copies, in turn.
int Reverify(const TOptions& options, const TPlan& plan, const fs::path& empty, const fs::path& copy,
             TBenchResults& results) {
  // Made as the other one, by inserts: no older versions of the rows for the
  // runs to step over.
  const fs::path filled = options.workdir / "filled.fdb";
  fs::remove(filled);
  dztest::CreateCatalogue(filled.string());
  InChild("filling the catalogue with lengths", [&](TChildReport& r) { FillCatalogue(filled, plan, r, true); });
  std::printf("timed: re-check = atualiza-duracoes --reverificar as a run context (TContextoExecucao) on a "
              "catalogue whose every row holds its file's length (a row whose file gives 0 holds %d s); "
              "baseline = --simulacao on the same catalogue with every row at \"00:00\"; both --paralelo %d, "
              "--idade-minima 10, a front end doing nothing, from before the attach to after the detach\n",
              MissingSeconds, options.paralelo);
  results.paralelo = options.paralelo;
  results.target = options.target;
  results.sides.resize(3);
  results.sides[CompanionSide].name = "re-check";
  results.sides[FloorSide].name = "baseline";
  const Clock::time_point roundsStart = Clock::now();
  for (int round = 1; round <= options.rounds; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool reverify = (turn + round) % 2 == 0;
      TSideResults& sideResults = results.sides[reverify ? CompanionSide : FloorSide];
      FreshCopy(reverify ? filled : empty, copy);
      const TChildResult side = InChild(sideResults.name.c_str(), [&](TChildReport& r) {
        CompanionPass(copy, options.paralelo, reverify, results.rows, r);
      });
      if (side.report.rows != results.rows || side.report.values[0] != 0 || side.report.values[1] != 0) {
        throw std::runtime_error(sideResults.name + " visited " + std::to_string(side.report.rows) + " rows of " +
                                 std::to_string(results.rows) + ", " + std::to_string(side.report.values[0]) +
                                 " differing, " + std::to_string(side.report.values[1]) + " written");
      }
      sideResults.seconds.push_back(side.report.seconds);
      sideResults.tenths.emplace_back(std::begin(side.report.tenths), std::end(side.report.tenths));
      sideResults.peakMegabytes = std::max(sideResults.peakMegabytes, side.peakMegabytes);
      PrintRound(round, sideResults.name.c_str(), side, results.rows);
    }
  }
  results.roundsMinutes = SecondsSince(roundsStart) / 60;
  fs::remove(copy);
  fs::remove(filled);
  PrintResults(results);
  return 0;
}

int Main(int argc, char** argv) {
  const TOptions options = ReadOptions(argc, argv);
  fs::create_directories(options.workdir);
#ifndef NDEBUG
  std::printf("warning: not an optimised build (assertions on); the figures are not representative\n");
#endif
  TBenchSetting setting;
  setting.loadAverage = LoadAverage();
  const std::vector<std::string> corpus = MakeBenchCorpus(options.corpus.string());
  if (corpus.empty()) throw std::runtime_error("the corpus in " + options.corpus.string() + " is empty");
  const TPlan plan = MakePlan(options, corpus);
  TBenchResults results;
  results.rows = static_cast<long>(plan.music.size() + plan.jingles.size());

  const fs::path filled = options.workdir / "catalogue.fdb";
  fs::remove(filled);
  dztest::CreateCatalogue(filled.string());
  const TChildResult fill = InChild("filling the catalogue", [&](TChildReport& r) { FillCatalogue(filled, plan, r); });
  if (StatusField("Threads") != 1) throw std::runtime_error("this process has threads: forking it is not safe");
  results.parentMegabytes = static_cast<double>(StatusField("VmRSS")) / 1024.0;

  setting.musicRows = plan.music.size();
  setting.jingleRows = plan.jingles.size();
  setting.corpusFiles = corpus.size();
  setting.filesFolder = options.files.string();
  setting.mp3Files = plan.mp3Files;
  setting.wavFiles = plan.wavFiles;
  setting.missingRows = plan.missingRows;
  setting.zeroRows = plan.zeroRows;
  setting.forcedWrites = fill.report.values[0];
  setting.pageBuffers = fill.report.values[1];
  setting.pageSize = fill.report.values[2];
  setting.reverify = options.reverify;
  PrintSetting(setting);

  const fs::path copy = options.workdir / "measured.fdb";
  if (options.reverify) return Reverify(options, plan, filled, copy, results);
  results.paralelo = options.paralelo;
  results.target = options.target;
  results.windowTarget = options.windowTarget;
  for (const char* name : {"window", "companion", "floor"}) results.sides.emplace_back().name = name;
  const int sideCount = static_cast<int>(results.sides.size());
  const Clock::time_point roundsStart = Clock::now();
  for (int round = 1; round <= options.rounds; ++round) {
    // The order turns from round to round, so that no side always follows another.
    for (int turn = 0; turn < sideCount; ++turn) {
      const int index = (turn + round - 1) % sideCount;
      TSideResults& sideResults = results.sides[static_cast<std::size_t>(index)];
      const char* sideName = sideResults.name.c_str();
      if (std::find(options.sides.begin(), options.sides.end(), sideResults.name) == options.sides.end()) continue;
      FreshCopy(filled, copy);
      const TChildResult side =
          index == FloorSide ? InChild(sideName, [&](TChildReport& r) { Floor(copy, plan, r); })
                             : InChild(sideName, [&](TChildReport& r) {
                                 UpdateRun(copy, index == CompanionSide ? options.paralelo : ParaleloPadrao,
                                           results.rows, r);
                               });
      if (side.report.rows != results.rows) {
        throw std::runtime_error(std::string(sideName) + " walked " + std::to_string(side.report.rows) +
                                 " rows, not " + std::to_string(results.rows));
      }
      CheckSide(sideName, copy, plan);
      sideResults.seconds.push_back(side.report.seconds);
      sideResults.tenths.emplace_back(std::begin(side.report.tenths), std::end(side.report.tenths));
      sideResults.peakMegabytes = std::max(sideResults.peakMegabytes, side.peakMegabytes);
      PrintRound(round, sideName, side, results.rows);
    }
  }
  results.roundsMinutes = SecondsSince(roundsStart) / 60;
  if (!options.steps) {
    fs::remove(copy);
    PrintResults(results);
    return 0;
  }

  // Where the time goes: one more of each, timed step by step (not in the
  // medians), and the run once more with its files' seconds looked up.
  FreshCopy(filled, copy);
  results.runSteps = InChild("update run in steps", [&](TChildReport& r) { UpdateRunInSteps(copy, nullptr, r); });
  CheckSide("update run in steps", copy, plan);
  FreshCopy(filled, copy);
  results.floorSteps = InChild("floor in steps", [&](TChildReport& r) { FloorInSteps(copy, plan, r); });
  FreshCopy(filled, copy);
  results.knownSteps = InChild("update run without files, in steps", [&](TChildReport& r) {
    UpdateRunInSteps(copy, &plan.secondsByPath, r);
  });
  CheckSide("update run without files", copy, plan);
  results.measuring = InChild("measuring only", [&](TChildReport& r) { MeasureOnly(plan, r); });
  fs::remove(copy);

  PrintResults(results);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "bench_update: %s\n", error.what());
    return 1;
  }
}
