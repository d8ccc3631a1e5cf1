// The display program's launch failures in the event log: the entry of each outcome, whole, with
// its error or exit code, and the throttle that keeps a burst to one entry per reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "common/EventLogWriter.h"
#include "orientation/LaunchNotice.h"
#include "orientation/RotationLauncher.h"
#include "resources/EventMessages.h"

namespace {

using Kind = ProgramOutcome::Kind;
using Ids = std::vector<std::uint32_t>;

ProgramOutcome NotStarted(std::uint32_t error, std::int32_t step = launcher::kProcessNotCreated) {
  return {Kind::NotStarted, 0, step, error};
}
ProgramOutcome Ended(std::uint32_t code) { return {Kind::Ended, code}; }

// The entry's ID (0: none) and its last string: the Win32 error, the exit code or the limit.
struct Row { ProgramOutcome outcome; std::uint32_t id; const char* last = ""; };

TEST(LaunchEntries, SayTheReasonWithEveryStringTheMessageUses) {
  const Row rows[] = {
      {NotStarted(2), 111, "2"}, {NotStarted(3), 111, "3"}, {NotStarted(1260), 112, "1260"},
      {NotStarted(4551), 112, "4551"}, {NotStarted(5), 113, "5"}, {NotStarted(1455), 114, "1455"},
      {NotStarted(0, launcher::kNoConsoleSession), 110, "0"},
      {NotStarted(1008, launcher::kNoUserToken), 110, "1008"}, {{Kind::EndedAtLimit}, 115, "10"},
      {Ended(2), 116, "2"}, {Ended(4), 116, "4"}, {Ended(5), 116, "5"}, {Ended(6), 116, "6"},
      {Ended(0xC0000005), 117, "0xC0000005"}, {Ended(12), 117, "0x0000000C"},
      // The service's stop; the screen shows it; a rule declined: the program's entry says so.
      {{Kind::Stopped}, 0}, {Ended(0), 0}, {Ended(1), 0}, {Ended(8), 0}, {Ended(3), 0},
      {Ended(7), 0}, {Ended(9), 0}, {Ended(10), 0}, {Ended(11), 0}};
  for (const Row& row : rows) {
    const auto entry = LaunchEntryFor(row.outcome, "90");
    ASSERT_EQ(entry.has_value(), row.id != 0) << row.id << " " << row.last;
    if (!entry) continue;
    const auto* const all = std::end(event_messages::kAll);
    const auto message = std::find_if(std::begin(event_messages::kAll), all,
                                      [&](const auto& m) { return m.id == entry->id; });
    ASSERT_NE(message, all) << entry->id;
    EXPECT_EQ(entry->id, row.id) << row.last;
    EXPECT_EQ(entry->type, message->type) << row.id;
    EXPECT_EQ(entry->strings.size(), static_cast<std::size_t>(message->strings)) << row.id;
    EXPECT_EQ(entry->strings.front() + " " + entry->strings.back(), std::string("90 ") + row.last);
  }
}

Ids g_written;

TEST(LaunchThrottle, ABurstWritesOneEntryPerReasonUntilTheScreenShows) {
  event_log::SetWriter([](std::uint16_t, std::uint32_t id, const char* const*, std::size_t) {
    g_written.push_back(id);
  });
  NoteProgramOutcome(Ended(0), "0");  // whatever earlier tests left
  for (int event = 0; event < 10000; ++event) NoteProgramOutcome(NotStarted(2), "90");
  EXPECT_EQ(g_written, Ids{111});
  // Another reason is written once; neither again, whatever comes between them.
  for (const ProgramOutcome& outcome : {NotStarted(5), NotStarted(2), Ended(7), NotStarted(5)})
    NoteProgramOutcome(outcome, "90");
  EXPECT_EQ(g_written, (Ids{111, 113}));
  NoteProgramOutcome(Ended(1), "90");  // the screen shows it
  NoteProgramOutcome(NotStarted(2), "90");
  EXPECT_EQ(g_written, (Ids{111, 113, 111}));
  event_log::SetWriter(nullptr);
}

}  // namespace
