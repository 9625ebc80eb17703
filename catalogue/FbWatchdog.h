#pragma once

// Ends a call into the database client that waits too long. A server that
// stalls (paused, swapping, behind a cut that sends no reset) leaves a call
// waiting for an answer that may never come; the client itself gives up only
// after minutes, or never. Armed around every call on an attachment, the
// watchdog's thread aborts the attachment's connection (fb_cancel_operation
// with fb_cancel_abort) when the call has not returned within the limit, or
// when a stop was asked for (a signal) and the call has already waited
// StopGrace. The call then fails as after a lost connection, and
// TakeEnd tells why.
//
// The attach itself has no attachment to abort yet, and the client gives no
// handle to end it: Attach runs it on a thread of its own, and on a stop the
// caller stops waiting for it and leaves it there.

#include "catalogue/FbClient.h"

#include <ibase.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TFbWatchdog {
public:
  // How long a call may go on once a stop signal waits, before it is ended.
  static constexpr std::chrono::milliseconds StopGrace{1000};
  // How often the thread looks at the armed call and the stop descriptor.
  static constexpr std::chrono::milliseconds Tick{100};

  enum class TEnd { None, Limit, Stop };

  TFbWatchdog() = default;
  ~TFbWatchdog();
  TFbWatchdog(const TFbWatchdog&) = delete;
  TFbWatchdog& operator=(const TFbWatchdog&) = delete;

  // The longest a call may wait, in seconds; 0: as long as the client lets it.
  void SetLimit(int seconds);
  int Limit() const { return limitSeconds_; }
  // Tells whether a stop was asked for; called on the watchdog's thread, only
  // while a call has waited StopGrace. Empty: never.
  void SetStopRequested(std::function<bool()> stopRequested);

  // Watches the calls on this attachment from now on (the thread starts with
  // the first one); Unwatch before the attachment's handle goes.
  void Watch(isc_db_handle handle);
  void Unwatch() noexcept;

  // Armed from construction to destruction: the call made in between is watched.
  class TArmed {
  public:
    explicit TArmed(TFbWatchdog& watchdog);
    ~TArmed();
    TArmed(const TArmed&) = delete;
    TArmed& operator=(const TArmed&) = delete;

  private:
    TFbWatchdog& watchdog_;
  };

  // Why the watchdog ended the last call it ended (None when it ended none
  // since the last TakeEnd), and forgets it.
  TEnd TakeEnd();

  // Attaches as TFbAttachment::Attach does, on a thread of its own that the
  // caller waits for. A server that takes the connection and then answers
  // nothing (paused, swapping) holds an attach until the attach block's
  // connect timeout, or for good without one. When a stop is asked for and
  // the attach has waited StopGrace, the caller waits no longer: it gets the
  // client's error for a cancelled operation (isc_cancelled), and the attach
  // is left behind on its thread, which detaches whatever it gets late and
  // ends. Otherwise the attachment, or the client's error, is the caller's
  // as if the caller had attached itself.
  TFbAttachment Attach(const std::string& databaseName, const std::string& attachBlock);

  // The attaches left behind in this process that still wait inside the
  // client. While one does, the process must not run its exit handlers: the
  // client's own would wait for it in turn.
  static int AttachesLeftBehind();

private:
  using TClock = std::chrono::steady_clock;

  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool quit_ = false;
  isc_db_handle handle_ = 0;     // the watched attachment; 0: none
  int limitSeconds_ = 0;
  std::function<bool()> stopRequested_;
  bool armed_ = false;
  TClock::time_point armedAt_;
  std::uint64_t call_ = 0;       // counts the calls armed
  std::uint64_t endedCall_ = 0;  // the last call the watchdog ended
  TEnd end_ = TEnd::None;
};
