#include "run/SinaisParada.h"

#include <csignal>
#include <initializer_list>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr std::initializer_list<int> SinaisDeParada = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

TSinaisParada::TSinaisParada() {
  sigset_t conjunto;
  sigemptyset(&conjunto);
  sigemptyset(&ignorados_);
  for (const int sinal : SinaisDeParada) {
    struct sigaction atual {};
    if (::sigaction(sinal, nullptr, &atual) == 0 && atual.sa_handler == SIG_IGN) sigaddset(&ignorados_, sinal);
    // Blocked even when ignored: a handler the client installs later must not see it either.
    sigaddset(&conjunto, sinal);
  }
  descritor_ = ::signalfd(-1, &conjunto, SFD_NONBLOCK | SFD_CLOEXEC);
  if (descritor_ >= 0) ::pthread_sigmask(SIG_BLOCK, &conjunto, nullptr);
}

TSinaisParada::~TSinaisParada() {
  if (descritor_ >= 0) ::close(descritor_);
}

int TSinaisParada::Recebido() {
  if (descritor_ < 0) return recebido_;
  signalfd_siginfo info;
  while (::read(descritor_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    const int sinal = static_cast<int>(info.ssi_signo);
    int nenhum = 0;
    if (sigismember(&ignorados_, sinal) == 0) recebido_.compare_exchange_strong(nenhum, sinal);
  }
  return recebido_;
}
