// The subscription's life against a scripted listener: the pauses between attempts, the
// event-log entries of a run of failures, the ways a standing subscription ends, and the stop.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "events/SubscriptionLoop.h"

namespace {

using namespace subscription_loop;
using Calls = std::vector<std::string>;

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
  Attempt Subscribe() { return Call("subscribe"), Next(attempts, Attempt::Stopping); }
  void Drop(bool cancel) { Call(cancel ? "cancel" : "drop"); }
  bool StillConnected() { return Call("check"), Next(checks, false); }
  Wake Wait(std::chrono::milliseconds pause) {
    return Call("wait " + std::to_string(pause.count())), Next(wakes, Wake::Stop);
  }
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
  subscription_loop::Run(script);
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
                "wait 1000", "subscribe", "recovered at 1", "wait 60000"}}),
    [](const testing::TestParamInfo<Script>& info) { return std::string(info.param.name); });

}  // namespace
