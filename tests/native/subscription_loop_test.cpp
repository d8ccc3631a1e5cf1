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
struct ScriptedListener {
  std::deque<Attempt> attempts;
  std::deque<Wake> wakes;
  std::deque<bool> checks;
  Calls calls;

  Attempt Subscribe() {
    calls.push_back("subscribe");
    if (attempts.empty()) return Attempt::Stopping;
    const Attempt attempt = attempts.front();
    attempts.pop_front();
    return attempt;
  }
  void Drop(bool cancel) { calls.push_back(cancel ? "cancel" : "drop"); }
  bool StillConnected() {
    calls.push_back("check");
    const bool connected = !checks.empty() && checks.front();
    if (!checks.empty()) checks.pop_front();
    return connected;
  }
  Wake Wait(std::chrono::milliseconds pause) {
    calls.push_back("wait " + std::to_string(pause.count()));
    if (wakes.empty()) return Wake::Stop;
    const Wake wake = wakes.front();
    wakes.pop_front();
    return wake;
  }
  void ReportFailure() { calls.push_back("warning"); }
  void ReportRecovery(unsigned attempts) { calls.push_back("recovered at " + std::to_string(attempts)); }
};

constexpr Attempt kOk = Attempt::Subscribed;
constexpr Attempt kFail = Attempt::Failed;
constexpr Wake kTime = Wake::Elapsed;

struct Row {
  const char* name;
  std::deque<Attempt> attempts;
  std::deque<Wake> wakes;
  std::deque<bool> checks;
  Calls calls;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class Loop : public testing::TestWithParam<Row> {};

TEST_P(Loop, FollowsItsScript) {
  const Row& row = GetParam();
  ScriptedListener listener{row.attempts, row.wakes, row.checks, {}};
  subscription_loop::Run(listener);
  EXPECT_EQ(listener.calls, row.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Loop,
    testing::Values(
        Row{"PausesDoubleUpToAMinuteAndTheStopEndsThemAtOnce",
            {kFail, kFail, kFail, kFail, kFail, kFail, kFail, kFail, kFail},
            {kTime, kTime, kTime, kTime, kTime, kTime, kTime, kTime, Wake::Stop},
            {},
            {"subscribe", "warning", "wait 1000", "subscribe", "wait 2000", "subscribe",
             "wait 4000", "subscribe", "wait 8000", "subscribe", "wait 16000", "subscribe",
             "wait 32000", "subscribe", "wait 60000", "subscribe", "wait 60000", "subscribe",
             "wait 60000"}},
        Row{"ARecoveryIsReportedOnceWithItsAttempt",
            {kFail, kFail, kOk},
            {kTime, kTime, Wake::Stop},
            {},
            {"subscribe", "warning", "wait 1000", "subscribe", "wait 2000", "subscribe",
             "recovered at 3", "wait 60000"}},
        Row{"ARenewalCutsThePauseShort",
            {kFail, kOk},
            {Wake::Renew, Wake::Stop},
            {},
            {"subscribe", "warning", "wait 1000", "subscribe", "recovered at 2", "wait 60000"}},
        Row{"AStopInTheMidstOfAnAttemptWritesNothing",
            {kFail, Attempt::Stopping},
            {kTime},
            {},
            {"subscribe", "warning", "wait 1000", "subscribe"}},
        Row{"ASubscriptionThatStaysConnectedIsKept",
            {kOk},
            {kTime, kTime, Wake::Stop},
            {true, true},
            {"subscribe", "wait 60000", "check", "wait 60000", "check", "wait 60000"}},
        Row{"AConnectionFoundGoneIsAFailureAndIsMadeAgain",
            {kOk, kOk},
            {kTime, kTime, Wake::Stop},
            {false},
            {"subscribe", "wait 60000", "check", "drop", "warning", "wait 1000", "subscribe",
             "recovered at 1", "wait 60000"}},
        Row{"ASubscriptionThatWmiEndsIsMadeAgain",
            {kOk, kFail, kOk},
            {Wake::Ended, kTime, kTime, Wake::Stop},
            {},
            {"subscribe", "wait 60000", "drop", "warning", "wait 1000", "subscribe", "wait 2000",
             "subscribe", "recovered at 2", "wait 60000"}},
        Row{"AfterAResumeItIsCancelledAndMadeAgainAtOnce",
            {kOk, kOk},
            {Wake::Renew, Wake::Stop},
            {},
            {"subscribe", "wait 60000", "cancel", "subscribe", "wait 60000"}},
        // Accepted and ended at once, again and again: paced like failures, not a tight loop,
        // until one survives its first check.
        Row{"LossesInARowArePacedUntilOneSurvivesACheck",
            {kOk, kOk, kOk, kOk},
            {Wake::Ended, kTime, Wake::Ended, kTime, kTime, Wake::Ended, kTime, Wake::Stop},
            {true},
            {"subscribe", "wait 60000", "drop", "warning", "wait 1000", "subscribe",
             "recovered at 1", "wait 60000", "drop", "warning", "wait 2000", "subscribe",
             "recovered at 1", "wait 60000", "check", "wait 60000", "drop", "warning",
             "wait 1000", "subscribe", "recovered at 1", "wait 60000"}}),
    [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
