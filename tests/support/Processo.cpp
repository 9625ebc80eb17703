#include "tests/support/Processo.h"

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dztest {

namespace {

constexpr auto Intervalo = std::chrono::milliseconds(10);

// Owns what posix_spawn is given, and frees it.
struct TAtributos {
  TAtributos() {
    posix_spawnattr_init(&atributos);
    posix_spawn_file_actions_init(&acoes);
  }
  ~TAtributos() {
    posix_spawnattr_destroy(&atributos);
    posix_spawn_file_actions_destroy(&acoes);
  }
  posix_spawnattr_t atributos;
  posix_spawn_file_actions_t acoes;
};

}  // namespace

TProcesso::TProcesso(const std::vector<std::string>& argumentos, TSaida saida) : saida_(saida) {
  if (argumentos.empty()) throw std::invalid_argument("no program to run");
  TAtributos a;
  sigset_t padrao;
  sigemptyset(&padrao);
  for (const int sinal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&padrao, sinal);
  sigset_t nenhum;
  sigemptyset(&nenhum);
  posix_spawnattr_setsigdefault(&a.atributos, &padrao);
  posix_spawnattr_setsigmask(&a.atributos, &nenhum);
  posix_spawnattr_setflags(&a.atributos, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  posix_spawn_file_actions_addopen(&a.acoes, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  int escrita = -1;
  if (saida == TSaida::Cano || saida == TSaida::CanoCurto) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    cano_ = fds[0];
    escrita = fds[1];
    ::fcntl(cano_, F_SETFL, ::fcntl(cano_, F_GETFL) | O_NONBLOCK);
    if (saida == TSaida::CanoCurto && ::fcntl(cano_, F_SETPIPE_SZ, 4096) < 0) throw std::runtime_error("F_SETPIPE_SZ");
    posix_spawn_file_actions_adddup2(&a.acoes, escrita, STDOUT_FILENO);
  } else if (saida == TSaida::Cheia) {
    posix_spawn_file_actions_addopen(&a.acoes, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(&a.acoes, STDOUT_FILENO, pasta_.File("saida").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  posix_spawn_file_actions_addopen(&a.acoes, STDERR_FILENO, pasta_.File("erros").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);

  std::vector<char*> argv;
  for (const auto& argumento : argumentos) argv.push_back(const_cast<char*>(argumento.c_str()));
  argv.push_back(nullptr);
  const int erro = ::posix_spawn(&pid_, argv[0], &a.acoes, &a.atributos, argv.data(), environ);
  if (escrita >= 0) ::close(escrita);
  if (erro != 0) {
    pid_ = -1;
    throw std::runtime_error("could not start " + argumentos[0]);
  }
}

TProcesso::~TProcesso() {
  if (pid_ > 0 && !Terminou()) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (cano_ >= 0) ::close(cano_);
}

void TProcesso::Sinal(int sinal) const {
  if (pid_ > 0 && !terminou_) ::kill(pid_, sinal);
}

bool TProcesso::Terminou() {
  if (terminou_) return true;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
  terminou_ = true;
  if (WIFEXITED(status)) fim_.saida = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) fim_.sinal = WTERMSIG(status);
  return true;
}

bool TProcesso::EsperaAte(const std::function<bool()>& pronto, double limite) {
  const auto fim = std::chrono::steady_clock::now() + std::chrono::duration<double>(limite);
  while (std::chrono::steady_clock::now() < fim) {
    if (pronto()) return true;
    if (Terminou()) return pronto();
    std::this_thread::sleep_for(Intervalo);
  }
  return false;
}

TFimProcesso TProcesso::Espera(double limite) {
  if (!EsperaAte([this] { return Terminou(); }, limite)) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    terminou_ = true;
    fim_ = {-1, SIGKILL};
  }
  return fim_;
}

TFimProcesso TProcesso::EsperaLendo(double limite) {
  if (EsperaAte([this] {
        SaidaPadrao();
        return Terminou();
      }, limite))
    return fim_;
  return Espera(0);
}

std::string TProcesso::SaidaPadrao() {
  if (saida_ == TSaida::Arquivo) return dztest::ReadFileText(pasta_.File("saida"));
  if (cano_ < 0) return lido_;  // /dev/full, or the pipe closed
  char bloco[4096];
  ssize_t lidos;
  while ((lidos = ::read(cano_, bloco, sizeof bloco)) > 0) lido_.append(bloco, static_cast<std::size_t>(lidos));
  return lido_;
}

std::string TProcesso::SaidaErros() const { return dztest::ReadFileText(pasta_.File("erros")); }

void TProcesso::FechaCano() {
  SaidaPadrao();
  if (cano_ >= 0) ::close(cano_);
  cano_ = -1;
}

}  // namespace dztest
