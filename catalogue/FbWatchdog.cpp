#include "catalogue/FbWatchdog.h"

#include <utility>

TFbWatchdog::~TFbWatchdog() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TFbWatchdog::SetLimit(int seconds) {
  std::lock_guard lock(mutex_);
  limitSeconds_ = seconds > 0 ? seconds : 0;
}

void TFbWatchdog::SetStopRequested(std::function<bool()> stopRequested) {
  std::lock_guard lock(mutex_);
  stopRequested_ = std::move(stopRequested);
}

void TFbWatchdog::Watch(isc_db_handle handle) {
  {
    std::lock_guard lock(mutex_);
    handle_ = handle;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  wake_.notify_all();
}

void TFbWatchdog::Unwatch() noexcept {
  std::lock_guard lock(mutex_);
  handle_ = 0;
}

TFbWatchdog::TArmed::TArmed(TFbWatchdog& watchdog) : watchdog_(watchdog) {
  std::lock_guard lock(watchdog_.mutex_);
  watchdog_.armed_ = true;
  watchdog_.armedAt_ = TClock::now();
  ++watchdog_.call_;
}

TFbWatchdog::TArmed::~TArmed() {
  std::lock_guard lock(watchdog_.mutex_);
  watchdog_.armed_ = false;
}

TFbWatchdog::TEnd TFbWatchdog::TakeEnd() {
  std::lock_guard lock(mutex_);
  const TEnd end = end_;
  end_ = TEnd::None;
  return end;
}

void TFbWatchdog::Run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    // Idle without an attachment; with one, a look every Tick. The mutex is
    // held while the connection is aborted, so that neither the handle nor
    // the armed call changes under the abort.
    if (handle_ == 0) {
      wake_.wait(lock);
      continue;
    }
    wake_.wait_for(lock, Tick);
    if (quit_ || handle_ == 0 || !armed_ || endedCall_ == call_) continue;
    const auto waited = TClock::now() - armedAt_;
    TEnd end = TEnd::None;
    if (limitSeconds_ > 0 && waited >= std::chrono::seconds(limitSeconds_)) {
      end = TEnd::Limit;
    } else if (waited >= StopGrace && stopRequested_ && stopRequested_()) {
      end = TEnd::Stop;
    }
    if (end == TEnd::None) continue;
    ISC_STATUS_ARRAY status;
    isc_db_handle handle = handle_;
    fb_cancel_operation(status, &handle, fb_cancel_abort);
    endedCall_ = call_;
    end_ = end;
  }
}
