// The measuring threads of atualiza-duracoes --paralelo on real files: each
// row gets what the run's own measurement gives, in the run's order, with at
// most N rows named ahead, and a phase ended early leaves nothing behind.
// These wake a thread for every row (a limit of 0); the last test shows the
// rows handed over in batches, and one thread a batch while files are quick.

#include "run/MedicaoAntecipada.h"

#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using dztest::SampleFolder;
using dztest::TSampleSet;

constexpr std::chrono::microseconds SempreAntes{0};  // each row wakes a thread of its own

// The folder cache of a new run.
std::shared_ptr<TFolderCache> Pastas() { return std::make_shared<TFolderCache>(); }

// Every sample file of the sets the catalogues point at, twice (the same file
// on several rows), and a file that does not exist.
std::vector<std::string> Caminhos() {
  std::vector<std::string> arquivos;
  for (const TSampleSet set : {TSampleSet::Catalogue, TSampleSet::Conferencia, TSampleSet::Mp3, TSampleSet::Wav}) {
    for (const auto& entrada : std::filesystem::recursive_directory_iterator(SampleFolder(set)))
      if (entrada.is_regular_file()) arquivos.push_back(entrada.path().string());
  }
  std::sort(arquivos.begin(), arquivos.end());
  std::vector<std::string> caminhos = arquivos;
  caminhos.insert(caminhos.end(), arquivos.rbegin(), arquivos.rend());
  caminhos.push_back(arquivos.front() + ".falta");
  return caminhos;
}

// What the run measures by itself, one file after the other, each file walked too.
std::vector<TMedida> UmPorVez(const std::vector<std::string>& caminhos) {
  TWindowsLookup busca;
  std::vector<TMedida> esperadas;
  for (const std::string& caminho : caminhos) esperadas.push_back(MedeCaminho(busca, {}, caminho, TConferencia::Avisa));
  return esperadas;
}

void ComparaLinha(const TMedida& medida, const TMedida& esperada) {
  EXPECT_EQ(medida.segundos, esperada.segundos);
  EXPECT_EQ(medida.motivo, esperada.motivo);
  EXPECT_EQ(medida.arquivo.Result, esperada.arquivo.Result);
  EXPECT_EQ(medida.arquivo.Path, esperada.arquivo.Path);
  EXPECT_EQ(medida.conferencia.percorrido, esperada.conferencia.percorrido);
  EXPECT_EQ(medida.conferencia.motivo, esperada.conferencia.motivo);
  EXPECT_EQ(medida.conferencia.estimativa, esperada.conferencia.estimativa);
  EXPECT_EQ(medida.conferencia.percorrida, esperada.conferencia.percorrida);
}

TEST(MedicaoAntecipada, EveryRowAsMeasuredOneAtATime) {
  const std::vector<std::string> caminhos = Caminhos();
  const std::vector<TMedida> esperados = UmPorVez(caminhos);
  const int total = static_cast<int>(caminhos.size());
  ASSERT_GT(total, 64);
  for (const int paralelo : {1, 3, 8, ParaleloMaximo}) {
    SCOPED_TRACE("paralelo " + std::to_string(paralelo));
    TMedicaoAntecipada medicao(paralelo, {}, TConferencia::Avisa, SempreAntes);
    const std::thread::id daCorrida = std::this_thread::get_id();
    int nomeadas = 0;  // rows named so far; they are named in order, each once
    medicao.Inicia(
        [&](int linha) {
          EXPECT_EQ(std::this_thread::get_id(), daCorrida);
          EXPECT_EQ(linha, nomeadas);
          ++nomeadas;
          return caminhos[static_cast<std::size_t>(linha)];
        },
        total, Pastas());
    for (int linha = 0; linha < total; ++linha) {
      SCOPED_TRACE(caminhos[static_cast<std::size_t>(linha)]);
      EXPECT_LE(nomeadas, linha + paralelo);  // never more than paralelo rows ahead
      const TMedida medida = medicao.Mede(linha, caminhos[static_cast<std::size_t>(linha)]);
      ComparaLinha(medida, esperados[static_cast<std::size_t>(linha)]);
    }
    EXPECT_EQ(nomeadas, total);
    medicao.Encerra();
  }
}

// A phase ended after a few rows (an error, a stop signal) drops what was
// measured ahead; the next phase starts afresh, and ending twice is harmless.
TEST(MedicaoAntecipada, PhaseEndedEarly) {
  const std::vector<std::string> caminhos = Caminhos();
  const std::vector<TMedida> esperados = UmPorVez(caminhos);
  const int total = static_cast<int>(caminhos.size());
  TMedicaoAntecipada medicao(8, {}, TConferencia::Nenhuma, SempreAntes);
  medicao.Inicia([&](int linha) { return caminhos[static_cast<std::size_t>(linha)]; }, total, Pastas());
  for (int linha = 0; linha < 3; ++linha) {
    const TMedida medida = medicao.Mede(linha, caminhos[static_cast<std::size_t>(linha)]);
    EXPECT_EQ(medida.segundos, esperados[static_cast<std::size_t>(linha)].segundos);
  }
  medicao.Encerra();
  medicao.Encerra();
  // The next phase: the same paths from the back.
  medicao.Inicia([&](int linha) { return caminhos[caminhos.size() - 1 - static_cast<std::size_t>(linha)]; }, total,
                 Pastas());
  for (int linha = 0; linha < total; ++linha) {
    const std::size_t indice = caminhos.size() - 1 - static_cast<std::size_t>(linha);
    const TMedida medida = medicao.Mede(linha, caminhos[indice]);
    EXPECT_EQ(medida.segundos, esperados[indice].segundos) << caminhos[indice];
    EXPECT_EQ(medida.motivo, esperados[indice].motivo) << caminhos[indice];
  }
  // Left in a phase: the destructor ends it.
  medicao.Inicia([&](int linha) { return caminhos[static_cast<std::size_t>(linha)]; }, total, Pastas());
}

// A row whose path cannot be read ahead (the copy refuses the column) is
// left to the run, which meets the error when it reads the row itself; a
// measurer given the path measures it, and every row after it, as it comes.
TEST(MedicaoAntecipada, PathThatCannotBeReadAhead) {
  const std::vector<std::string> caminhos = Caminhos();
  const std::vector<TMedida> esperados = UmPorVez(caminhos);
  const int total = static_cast<int>(caminhos.size());
  for (const int recusada : {0, 5}) {
    SCOPED_TRACE("refused at row " + std::to_string(recusada));
    TMedicaoAntecipada medicao(4, {}, TConferencia::Nenhuma, SempreAntes);
    medicao.Inicia(
        [&](int linha) {
          if (linha >= recusada) throw std::runtime_error("Size Mismatch");
          return caminhos[static_cast<std::size_t>(linha)];
        },
        total, Pastas());
    for (int linha = 0; linha < total; ++linha) {
      const TMedida medida = medicao.Mede(linha, caminhos[static_cast<std::size_t>(linha)]);
      EXPECT_EQ(medida.segundos, esperados[static_cast<std::size_t>(linha)].segundos) << linha;
      EXPECT_EQ(medida.motivo, esperados[static_cast<std::size_t>(linha)].motivo) << linha;
    }
  }
}

TEST(MedicaoAntecipada, RowsOutOfOrderOrOfAnotherPath) {
  const std::vector<std::string> caminhos = Caminhos();
  TMedicaoAntecipada medicao(4, {}, TConferencia::Nenhuma, SempreAntes);
  medicao.Inicia([&](int linha) { return caminhos[static_cast<std::size_t>(linha)]; }, 10, Pastas());
  EXPECT_THROW(medicao.Mede(1, caminhos[1]), std::logic_error);
  // A row whose path is not the one named is measured by its own path.
  const TMedida medida = medicao.Mede(0, caminhos.back());
  EXPECT_EQ(medida.motivo, TMotivoDuracao::ArquivoInexistente);
  EXPECT_EQ(medida.arquivo.Path, caminhos.back());
}

// The threads and the run's thread look names up in the run's folder cache:
// rows whose names differ in letter case from those of one folder read it
// once in the run, at any number of threads, and each row finds its file as
// one lookup alone finds it. A later phase of the run reads it no more.
TEST(MedicaoAntecipada, ThreadsReadAFolderOncePerRun) {
  constexpr int Faixas = 300;
  const dztest::TTempDir dir;
  const std::filesystem::path acervo = dir.Path() / "Acervo";
  std::filesystem::create_directories(acervo);
  std::vector<std::string> caminhos;
  for (int faixa = 1; faixa <= Faixas; ++faixa) {
    dztest::WriteFile((acervo / ("Faixa" + std::to_string(faixa) + ".wav")).string(), "");
    caminhos.push_back(dir.Path().string() + "/ACERVO/FAIXA" + std::to_string(faixa) + ".WAV");
  }
  TWindowsLookup sozinha;
  std::vector<TMedida> esperadas;
  for (const std::string& caminho : caminhos) esperadas.push_back(MedeCaminho(sozinha, {}, caminho));
  ASSERT_EQ(sozinha.DirectoryReads(), 2u);  // the test's folder, for Acervo, and Acervo
  ASSERT_EQ(esperadas.back().arquivo.Path, (acervo / ("Faixa" + std::to_string(Faixas) + ".wav")).string());

  const int total = static_cast<int>(caminhos.size());
  for (const int paralelo : {1, 8, ParaleloMaximo}) {
    SCOPED_TRACE("paralelo " + std::to_string(paralelo));
    const std::shared_ptr<TFolderCache> pastas = Pastas();
    TMedicaoAntecipada medicao(paralelo, {}, TConferencia::Nenhuma, SempreAntes);
    for (int fase = 0; fase < 2; ++fase) {
      medicao.Inicia([&](int linha) { return caminhos[static_cast<std::size_t>(linha)]; }, total, pastas);
      for (int linha = 0; linha < total; ++linha) {
        const TMedida medida = medicao.Mede(linha, caminhos[static_cast<std::size_t>(linha)]);
        const TMedida& esperada = esperadas[static_cast<std::size_t>(linha)];
        EXPECT_EQ(medida.arquivo.Result, esperada.arquivo.Result) << linha;
        EXPECT_EQ(medida.arquivo.Path, esperada.arquivo.Path) << linha;
        EXPECT_EQ(medida.motivo, esperada.motivo) << linha;
      }
      medicao.Encerra();
      EXPECT_EQ(pastas->DirectoryReads(), sozinha.DirectoryReads()) << "phase " << fase;
    }
  }
}

// Rows are handed to the threads in batches (a quarter of the rows ahead at
// least), never more than paralelo ahead. While files take long, each row
// wakes a thread of its own and their waits overlap; while they are quick, a
// batch is measured by one thread; every row gets its own measurement either
// way. Here a slow file waits until another is being measured beside it (or
// half a second): files measured one after the other would each wait it out.
// The threads run at a lower priority than the run's.
TEST(MedicaoAntecipada, BatchesAndOverlappingSlowFiles) {
  constexpr int Paralelo = 8, Lote = Paralelo / 4;
  constexpr int Rapidas = 300, Lentas = 40;
  const int total = Rapidas + Lentas + Rapidas;
  auto lenta = [](int linha) { return linha >= Rapidas && linha < Rapidas + Lentas; };
  std::vector<std::string> caminhos;
  for (int linha = 0; linha < total; ++linha)
    caminhos.push_back((lenta(linha) ? "lenta/" : "rapida/") + std::to_string(linha));
  const std::thread::id daCorrida = std::this_thread::get_id();
  std::mutex mutex;
  std::condition_variable mudou;
  int lentasAgora = 0, lentasJuntas = 0;  // slow files being measured now, and the most at once
  errno = 0;
  const int prioridade = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  ASSERT_EQ(errno, 0);
  std::atomic<int> outraPrioridade{0};  // measurements on a thread not below the run's priority
  const auto medidor = [&](TWindowsLookup&, const std::string& caminho) {
    if (std::this_thread::get_id() != daCorrida &&
        ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())) != std::min(prioridade + CessaoPrioridade, 19))
      ++outraPrioridade;
    if (caminho.starts_with("lenta/")) {
      std::unique_lock trava(mutex);
      lentasJuntas = std::max(lentasJuntas, ++lentasAgora);
      mudou.notify_all();
      mudou.wait_for(trava, std::chrono::milliseconds(500), [&] { return lentasAgora > 1; });
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      --lentasAgora;
    }
    TMedida medida;
    medida.segundos = std::stoi(caminho.substr(caminho.find('/') + 1));
    medida.arquivo.Path = caminho;
    return medida;
  };
  TMedicaoAntecipada medicao(Paralelo, {}, TConferencia::Nenhuma, std::chrono::microseconds(100), medidor);
  int nomeadas = 0;
  std::vector<int> lotes;  // rows named between two rows asked for
  medicao.Inicia(
      [&](int linha) {
        EXPECT_EQ(linha, nomeadas);  // each row named once, in order
        ++nomeadas;
        return caminhos[static_cast<std::size_t>(linha)];
      },
      total, Pastas());
  EXPECT_EQ(nomeadas, Paralelo);
  for (int linha = 0; linha < total; ++linha) {
    const int antes = nomeadas;
    const TMedida medida = medicao.Mede(linha, caminhos[static_cast<std::size_t>(linha)]);
    EXPECT_EQ(medida.segundos, linha);
    EXPECT_EQ(medida.arquivo.Path, caminhos[static_cast<std::size_t>(linha)]);
    EXPECT_LE(nomeadas, linha + 1 + Paralelo);
    if (nomeadas > antes) lotes.push_back(nomeadas - antes);
  }
  medicao.Encerra();
  EXPECT_EQ(nomeadas, total);
  EXPECT_EQ(outraPrioridade.load(), 0);
  ASSERT_FALSE(lotes.empty());
  lotes.pop_back();  // the last rows of the phase may be fewer
  for (const int lote : lotes) EXPECT_GE(lote, Lote);
  EXPECT_GE(lentasJuntas, 2);
}

// A file that blocks its thread until the test lets it go; held by the
// threads through the measurer, so it outlives the test's own scope.
struct TPortao {
  std::mutex mutex;
  std::condition_variable aberto;
  bool livre = false;
  int esperando = 0;

  void Espera() {
    std::unique_lock trava(mutex);
    ++esperando;
    aberto.notify_all();
    aberto.wait(trava, [this] { return livre; });
  }
  void Abre() {
    const std::lock_guard trava(mutex);
    livre = true;
    aberto.notify_all();
  }
  // True once n threads wait at it (within a generous limit).
  bool EsperamAte(int n) {
    std::unique_lock trava(mutex);
    return aberto.wait_for(trava, std::chrono::seconds(30), [&] { return esperando >= n; });
  }
};

// A stop leaves the threads in their files behind instead of waiting for
// them (a share where every call waits), and takes nothing from them: the
// pool goes on with a new phase, and the threads end by themselves once their
// files let them go.
TEST(MedicaoAntecipada, AStopDoesNotWaitForTheThreads) {
  auto portao = std::make_shared<TPortao>();
  const TMedicaoAntecipada::TMedidor medidor = [portao](TWindowsLookup&, const std::string& caminho) {
    TMedida medida;
    medida.arquivo.Path = caminho;
    if (caminho.starts_with("lento")) portao->Espera();
    medida.segundos = static_cast<std::int32_t>(caminho.size());
    return medida;
  };
  constexpr int Lentos = 6;
  {
    TMedicaoAntecipada medicao(Lentos, {}, TConferencia::Nenhuma, SempreAntes, medidor);
    medicao.Inicia([](int linha) { return "lento" + std::to_string(linha); }, Lentos, Pastas());
    ASSERT_TRUE(portao->EsperamAte(Lentos));
    EXPECT_TRUE(medicao.Abandona());
    EXPECT_EQ(medicao.ThreadsDeixadas(), Lentos);
    // A new phase is measured while those still wait.
    medicao.Inicia([](int linha) { return "rapido" + std::to_string(linha); }, 20, Pastas());
    for (int linha = 0; linha < 20; ++linha) {
      const std::string caminho = "rapido" + std::to_string(linha);
      EXPECT_EQ(medicao.Mede(linha, caminho).arquivo.Path, caminho);
    }
    EXPECT_TRUE(medicao.Abandona());
    EXPECT_FALSE(medicao.Abandona());  // nothing running: nothing left behind
    EXPECT_GE(medicao.ThreadsDeixadas(), Lentos);
    portao->Abre();
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (medicao.ThreadsDeixadas() > 0 && std::chrono::steady_clock::now() < limite)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(medicao.ThreadsDeixadas(), 0);
  }
  // The pool itself may go before the threads it left behind.
  portao = std::make_shared<TPortao>();
  auto medicao = std::make_unique<TMedicaoAntecipada>(Lentos, TPathMapping{}, TConferencia::Nenhuma, SempreAntes,
                                                      [portao](TWindowsLookup&, const std::string&) {
                                                        portao->Espera();
                                                        return TMedida{};
                                                      });
  medicao->Inicia([](int linha) { return "lento" + std::to_string(linha); }, Lentos, Pastas());
  ASSERT_TRUE(portao->EsperamAte(Lentos));
  EXPECT_TRUE(medicao->Abandona());
  medicao.reset();
  portao->Abre();
}

// A measurement taken ahead is taken again on the run's thread when the run
// comes to its row too late (held up by a slow server): the file may have
// changed meanwhile. One asked for in time is taken as it is.
TEST(MedicaoAntecipada, AMeasurementTooOldIsTakenAgain) {
  for (const auto idade : {std::chrono::milliseconds(0), std::chrono::milliseconds(3600 * 1000)}) {
    SCOPED_TRACE(idade.count());
    std::mutex mutex;
    std::condition_variable medida;
    std::vector<int> vezes(4, 0);
    const TMedicaoAntecipada::TMedidor medidor = [&](TWindowsLookup&, const std::string& caminho) {
      const std::lock_guard trava(mutex);
      TMedida resultado;
      resultado.segundos = ++vezes[static_cast<std::size_t>(caminho[0] - '0')];
      medida.notify_all();
      return resultado;
    };
    TMedicaoAntecipada medicao(4, {}, TConferencia::Nenhuma, SempreAntes, medidor, idade);
    medicao.Inicia([](int linha) { return std::to_string(linha); }, 4, Pastas());
    {
      // Every row measured ahead before the run asks for the first.
      std::unique_lock trava(mutex);
      ASSERT_TRUE(medida.wait_for(trava, std::chrono::seconds(30), [&] {
        return std::all_of(vezes.begin(), vezes.end(), [](int v) { return v == 1; });
      }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const bool velhas = idade.count() == 0;
    for (int linha = 0; linha < 4; ++linha)
      EXPECT_EQ(medicao.Mede(linha, std::to_string(linha)).segundos, velhas ? 2 : 1) << linha;
    medicao.Encerra();
    const std::lock_guard trava(mutex);
    for (const int v : vezes) EXPECT_EQ(v, velhas ? 2 : 1);
  }
}

}  // namespace
