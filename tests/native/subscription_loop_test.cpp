// The subscription's life against a scripted listener: the pauses between attempts, the
// event-log entries of a run of failures, the ways a standing subscription ends, and the stop.
#include <gtest/gtest.h>

#include <deque>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "events/SubscriptionLoop.h"

namespace {

using namespace subscription_loop;
using Calls = std::vector<std::string>;

// Stand for an attempt and a wait that throw.
constexpr Attempt kOutOfMemory = static_cast<Attempt>(90);
constexpr Wake kThrow = static_cast<Wake>(90);

// Plays its script in order; an exhausted script stops the loop, so that a row that expects more
// than its script gives fails on its calls instead of hanging.
struct Script {
  const char* name;
  std::deque<Attempt> attempts;
  std::deque<Wake> wakes;
  std::deque<bool> checks;
  Calls calls;  // expected, then those made

  template <typename T>
  static T Next(std::deque<T>& queue, T otherwise) {
    const T next = queue.empty() ? otherwise : queue.front();
    if (!queue.empty()) queue.pop_front();
    return next;
  }
  Attempt Subscribe() {
    Call("subscribe");
    const Attempt attempt = Next(attempts, Attempt::Stopping);
    return attempt == kOutOfMemory ? throw std::bad_alloc() : attempt;
  }
  void Drop(bool cancel) { Call(cancel ? "cancel" : "drop"); }
  bool StillConnected() { return Call("check"), Next(checks, false); }
  Wake Wait(std::chrono::milliseconds pause) {
    Call("wait " + std::to_string(pause.count()));
    const Wake wake = Next(wakes, Wake::Stop);
    return wake == kThrow ? throw std::runtime_error("boom") : wake;
  }
  void Thrown(const char* reason) { Call(std::string("thrown: ") + reason); }
  void ReportFailure() { Call("warning"); }
  void ReportRecovery(unsigned attempt) { Call("recovered at " + std::to_string(attempt)); }
  void Call(std::string call) { calls.push_back(std::move(call)); }
};

void PrintTo(const Script& script, std::ostream* out) { *out << script.name; }

constexpr Attempt kOk = Attempt::Subscribed;
constexpr Attempt kFail = Attempt::Failed;
constexpr Wake kTime = Wake::Elapsed;

class Loop : public testing::TestWithParam<Script> {};

TEST_P(Loop, FollowsItsScript) {
  Script script = GetParam();
  script.calls.clear();
  try {
    subscription_loop::Run(script);
  } catch (const std::exception&) {
    script.Call("escaped");  // to the wait thread, which ends the service
  }
  EXPECT_EQ(script.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Loop,
    testing::Values(
        Script{"PausesDoubleUpToAMinuteAndTheStopEndsThemAtOnce",
               {kFail, kFail, kFail, kFail, kFail, kFail, kFail, kFail, kFail},
               {kTime, kTime, kTime, kTime, kTime, kTime, kTime, kTime, Wake::Stop}, {},
               {"subscribe", "warning", "wait 1000", "subscribe", "wait 2000", "subscribe",
                "wait 4000", "subscribe", "wait 8000", "subscribe", "wait 16000", "subscribe",
                "wait 32000", "subscribe", "wait 60000", "subscribe", "wait 60000", "subscribe",
                "wait 60000"}},
        Script{"ARenewalCutsAPauseShortAndTheRecoveryIsReportedOnce",
               {kFail, kFail, kOk}, {kTime, Wake::Renew, Wake::Stop}, {},
               {"subscribe", "warning", "wait 1000", "subscribe", "wait 2000", "subscribe",
                "recovered at 3", "wait 60000"}},
        Script{"AStopInTheMidstOfAnAttemptWritesNothing",
               {kFail, Attempt::Stopping}, {kTime}, {},
               {"subscribe", "warning", "wait 1000", "subscribe"}},
        Script{"AConnectionFoundGoneAtACheckIsAFailureAndIsMadeAgain",
               {kOk, kOk}, {kTime, kTime, kTime, Wake::Stop}, {true, false},
               {"subscribe", "wait 60000", "check", "wait 60000", "check", "drop", "warning",
                "wait 1000", "subscribe", "recovered at 1", "wait 60000"}},
        Script{"ASubscriptionThatWmiEndsIsMadeAgain",
               {kOk, kFail, kOk}, {Wake::Ended, kTime, kTime, Wake::Stop}, {},
               {"subscribe", "wait 60000", "drop", "warning", "wait 1000", "subscribe",
                "wait 2000", "subscribe", "recovered at 2", "wait 60000"}},
        // Accepted and ended at once, again and again: paced like failures, not a tight loop,
        // until one survives its first check.
        Script{"LossesInARowArePacedUntilOneSurvivesACheck",
               {kOk, kOk, kOk, kOk},
               {Wake::Ended, kTime, Wake::Ended, kTime, kTime, Wake::Ended, kTime, Wake::Stop},
               {true},
               {"subscribe", "wait 60000", "drop", "warning", "wait 1000", "subscribe",
                "recovered at 1", "wait 60000", "drop", "warning", "wait 2000", "subscribe",
                "recovered at 1", "wait 60000", "check", "wait 60000", "drop", "warning",
                "wait 1000", "subscribe", "recovered at 1", "wait 60000"}},
        // An exception in an attempt or under a standing subscription is a failure: its objects
        // back, reported, tried again after the pause. One that leaves the pause leaves the loop.
        Script{"AnExceptionIsAFailure",
               {kOutOfMemory, kOk}, {kTime, kThrow, kThrow}, {},
               {"subscribe", "cancel", "thrown: out of memory on the WMI wait thread", "warning",
                "wait 1000", "subscribe", "recovered at 2", "wait 60000", "cancel",
                "thrown: an exception on the WMI wait thread: boom", "warning", "wait 2000",
                "escaped"}},
        // A resume keeps a subscription whose connection stands: no report is lost in a gap.
        Script{"AResumeKeepsASubscriptionThatStillStands",
               {kOk, kOk}, {Wake::Renew, Wake::Renew, Wake::Stop}, {true, false},
               {"subscribe", "wait 60000", "check", "wait 60000", "check", "drop", "subscribe",
                "wait 60000"}}),
    [](const testing::TestParamInfo<Script>& info) { return std::string(info.param.name); });

}  // namespace
