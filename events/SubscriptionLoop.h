#pragma once

#include <chrono>
#include <cstdint>

#include "common/ServiceFailure.h"

// The subscription's life on the wait thread: subscribe, keep the subscription while it stands,
// and make it again whenever it fails or is lost, until the service stops. Written over a
// listener that makes the platform calls, so that the same steps run on Windows and against a
// stand-in in the tests.
//
// A Listener provides:
//   Attempt Subscribe()      one attempt, every step with its line; on Failed it has given back
//                            what it obtained and keeps the reason for the event log
//   void Drop(bool cancel)   gives the standing subscription's objects back, cancelling the
//                            subscription first when cancel
//   bool StillConnected()    the cheap question whether WMI is still there; when it is not,
//                            keeps the reason
//   Wake Wait(std::chrono::milliseconds pause)
//                            until the stop, a renewal, WMI's end of the subscription (whose
//                            reason it keeps) or the end of the pause
//   void ReportFailure()     the event-log entry of the first failure of a run of failures
//   void ReportRecovery(unsigned attempts)
//                            the entry of its end, at the attempt-th attempt since it began
//   void Thrown(const char* reason)
//                            keeps the reason of an exception that ended an attempt
// An exception that leaves an attempt or a standing subscription is a failed attempt; one that
// leaves the entries or the pause between attempts leaves Run too.
namespace subscription_loop {

enum class Attempt { Subscribed, Failed, Stopping };
enum class Wake { Stop, Renew, Ended, Elapsed };

inline constexpr std::chrono::milliseconds kFirstPause{1000};
inline constexpr std::chrono::milliseconds kLongestPause{60000};
// How often a standing subscription asks whether WMI is still there.
inline constexpr std::chrono::milliseconds kCheckPeriod{60000};

// The pause before the next attempt after failures attempts or losses in a row (1 or more):
// a second, doubling, at most a minute.
std::chrono::milliseconds PauseAfter(unsigned failures);

// True for a code that says the connection to WMI is gone rather than that a call failed:
// the transport's and the server's ends, as a restarted WMI service gives them.
bool ConnectionGone(std::uint32_t code);

// Keeps the standing subscription until the stop or its end, and gives its objects back unless
// the service stops; what ended it. Once it has stood a whole check period, the failures before
// it no longer lengthen the pauses.
template <typename Listener>
Wake Keep(Listener& listener, unsigned& failures, std::chrono::milliseconds checkPeriod) {
  for (;;) {
    const Wake wake = listener.Wait(checkPeriod);
    switch (wake) {
      case Wake::Stop:
        return wake;
      case Wake::Elapsed:
        if (listener.StillConnected()) {
          failures = 0;
          continue;
        }
        listener.Drop(false);
        return wake;
      case Wake::Ended:
        listener.Drop(false);
        return wake;
      case Wake::Renew:
        // A resume: a subscription whose connection stands is kept, so that no report is lost
        // in a gap.
        if (listener.StillConnected()) continue;
        listener.Drop(false);
        return wake;
    }
  }
}

enum class Step { Stop, Again, Failed };

// One attempt and the life of the subscription it makes.
template <typename Listener>
Step AttemptAndKeep(Listener& listener, unsigned& failures, unsigned& attempts, bool& failing,
                    std::chrono::milliseconds checkPeriod) {
  const Attempt attempt = listener.Subscribe();
  if (attempt == Attempt::Stopping) return Step::Stop;
  if (attempt == Attempt::Failed) return Step::Failed;
  if (failing) listener.ReportRecovery(attempts);
  failing = false;
  attempts = 0;
  switch (Keep(listener, failures, checkPeriod)) {
    case Wake::Stop: return Step::Stop;
    case Wake::Renew: return Step::Again;  // a renewal is no failure: at once
    default: return Step::Failed;
  }
}

// A subscription that stands at once and is lost at once, again and again, is paced like a
// failing one: each loss counts as a failure until a subscription survives its first check.
template <typename Listener>
void Run(Listener& listener, std::chrono::milliseconds checkPeriod = kCheckPeriod) {
  unsigned failures = 0;  // failed attempts and losses in a row: the pause grows with them
  unsigned attempts = 0;  // attempts since the subscription last stood
  bool failing = false;   // a run of failures is on, its first entry written
  for (;;) {
    ++attempts;
    Step step;
    try {
      step = AttemptAndKeep(listener, failures, attempts, failing, checkPeriod);
    } catch (...) {
      // What it obtained goes back, a standing subscription cancelled, as after any failure.
      listener.Drop(true);
      listener.Thrown(service_failure::CurrentFailure("the WMI wait thread").reason);
      step = Step::Failed;
    }
    if (step == Step::Stop) return;
    if (step == Step::Again) continue;
    if (!failing) listener.ReportFailure();
    failing = true;
    // A renewal or the end of the pause both lead to the next attempt.
    if (listener.Wait(PauseAfter(++failures)) == Wake::Stop) return;
  }
}

}  // namespace subscription_loop
