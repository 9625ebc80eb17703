#include "catalogue/FbWatchdog.h"

#include <atomic>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// The attaches left behind that have not ended yet.
std::atomic<int> attachesLeftBehind{0};

// What an attach's thread and the caller waiting for it share; the thread
// holds it too, so that it outlives a caller that has left.
struct TAttachRun {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;        // the attachment or the error is there for the caller
  bool leftBehind = false;  // the caller waits no longer
  TFbAttachment attachment;
  // The attach's error, as plain values: the exception itself stays on its
  // thread (an exception object shared between threads is released by
  // whichever lets go last, inside the runtime, where no tool sees the order).
  bool failed = false;
  bool databaseError = false;  // an EDatabaseError, with these; else a plain error with its text
  std::string errorText;
  ISC_STATUS errorCode = 0;
  bool connectionLost = false;
};

void RunAttach(const std::shared_ptr<TAttachRun>& run, const std::string& databaseName,
               const std::string& attachBlock) {
  TFbAttachment attachment;
  bool failed = false, databaseError = false, connectionLost = false;
  std::string errorText;
  ISC_STATUS errorCode = 0;
  try {
    attachment = TFbAttachment::Attach(databaseName, attachBlock);
  } catch (const EDatabaseError& error) {
    failed = databaseError = true;
    errorText = error.what();
    errorCode = error.ErrorCode();
    connectionLost = error.ConnectionLost();
  } catch (const std::exception& error) {
    failed = true;
    errorText = error.what();
  } catch (...) {
    failed = true;
    errorText = "unknown error";
  }
  {
    std::lock_guard lock(run->mutex);
    if (!run->leftBehind) {
      run->attachment = std::move(attachment);
      run->failed = failed;
      run->databaseError = databaseError;
      run->errorText = std::move(errorText);
      run->errorCode = errorCode;
      run->connectionLost = connectionLost;
      run->done = true;
      run->finished.notify_all();
      return;
    }
  }
  // Nobody takes it: an attachment got late is detached here.
  attachment = TFbAttachment();
  --attachesLeftBehind;
}

// The client's own error for an operation cancelled.
EDatabaseError Cancelled() {
  const ISC_STATUS status[] = {isc_arg_gds, isc_cancelled, isc_arg_end};
  return EDatabaseError(StatusText(status), isc_cancelled);
}

}  // namespace

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

TFbAttachment TFbWatchdog::Attach(const std::string& databaseName, const std::string& attachBlock) {
  std::function<bool()> stopRequested;
  {
    std::lock_guard lock(mutex_);
    stopRequested = stopRequested_;
  }
  auto run = std::make_shared<TAttachRun>();
  // Detached: a thread left behind is joined by no one, and ends on its own.
  std::thread([run, databaseName, attachBlock] { RunAttach(run, databaseName, attachBlock); }).detach();
  const TClock::time_point started = TClock::now();
  std::unique_lock lock(run->mutex);
  while (!run->finished.wait_for(lock, Tick, [&] { return run->done; })) {
    if (TClock::now() - started >= StopGrace && stopRequested && stopRequested()) {
      run->leftBehind = true;
      ++attachesLeftBehind;
      throw Cancelled();
    }
  }
  if (run->failed) {
    if (run->databaseError) throw EDatabaseError(run->errorText, run->errorCode, run->connectionLost);
    throw std::runtime_error(run->errorText);
  }
  return std::move(run->attachment);
}

int TFbWatchdog::AttachesLeftBehind() { return attachesLeftBehind; }
