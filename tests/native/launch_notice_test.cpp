// The display program's launch failures in the event log: which entry each outcome writes, with
// its error or exit code, and the throttle that keeps a burst to one entry per reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/EventLogWriter.h"
#include "orientation/LaunchNotice.h"
#include "orientation/RotationLauncher.h"
#include "resources/EventMessages.h"

namespace {

using Kind = ProgramOutcome::Kind;
using Ids = std::vector<std::uint32_t>;

ProgramOutcome NotCreated(std::uint32_t error) {
  return {Kind::NotStarted, 0, launcher::kProcessNotCreated, error};
}
ProgramOutcome Ended(std::uint32_t code) { return {Kind::Ended, code}; }

struct Row {
  ProgramOutcome outcome;
  std::uint32_t id;  // 0: no entry
  const char* last;  // the last insertion string: the Win32 error, the exit code or the limit
};

class LaunchEntries : public testing::TestWithParam<Row> {};

TEST_P(LaunchEntries, SayTheReason) {
  const Row& row = GetParam();
  const auto entry = LaunchEntryFor(row.outcome, "90");
  ASSERT_EQ(entry.has_value(), row.id != 0);
  if (!entry) return;
  EXPECT_EQ(entry->id, row.id);
  EXPECT_EQ(entry->strings.front(), "90");
  EXPECT_EQ(entry->strings.back(), row.last);
  // The message shows whole: its type is the table's and it has every string it uses.
  bool found = false;
  for (const event_messages::Message& message : event_messages::kAll) {
    if (message.id != entry->id) continue;
    found = true;
    EXPECT_EQ(entry->type, message.type);
    EXPECT_EQ(entry->strings.size(), static_cast<std::size_t>(message.strings));
  }
  EXPECT_TRUE(found);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, LaunchEntries,
    testing::Values(
        Row{NotCreated(2), 111, "2"}, Row{NotCreated(3), 111, "3"},  // missing
        Row{NotCreated(1260), 112, "1260"}, Row{NotCreated(4551), 112, "4551"},  // blocked
        Row{NotCreated(5), 113, "5"}, Row{NotCreated(1455), 114, "1455"},
        Row{{Kind::NotStarted, 0, launcher::kNoConsoleSession, 0}, 110, "0"},
        Row{{Kind::NotStarted, 0, launcher::kNoUserToken, 1008}, 110, "1008"},
        Row{{Kind::EndedAtLimit}, 115, "10"}, Row{{Kind::Stopped}, 0, ""},
        Row{Ended(2), 116, "2"}, Row{Ended(4), 116, "4"}, Row{Ended(5), 116, "5"},
        Row{Ended(6), 116, "6"}, Row{Ended(0xC0000005), 117, "0xC0000005"},
        Row{Ended(12), 117, "0x0000000C"},
        // Shown, or declined by a rule: the program's own entry says so.
        Row{Ended(0), 0, ""}, Row{Ended(1), 0, ""}, Row{Ended(8), 0, ""}, Row{Ended(3), 0, ""},
        Row{Ended(7), 0, ""}, Row{Ended(9), 0, ""}, Row{Ended(10), 0, ""},
        Row{Ended(11), 0, ""}));

Ids g_written;

void RecordEntry(std::uint16_t, std::uint32_t id, const char* const*, std::size_t) {
  g_written.push_back(id);
}

TEST(LaunchThrottle, ABurstWritesOneEntryPerReasonUntilTheScreenShows) {
  event_log::SetWriter(RecordEntry);
  NoteProgramOutcome(Ended(0), "0");  // whatever earlier tests left
  g_written.clear();
  for (int event = 0; event < 10000; ++event) NoteProgramOutcome(NotCreated(2), "90");
  EXPECT_EQ(g_written, Ids{111});
  // Another reason is written once; neither again, whatever comes between them.
  for (const ProgramOutcome& outcome :
       {NotCreated(5), NotCreated(2), Ended(7), NotCreated(5), ProgramOutcome{Kind::Stopped}})
    NoteProgramOutcome(outcome, "90");
  EXPECT_EQ(g_written, (Ids{111, 113}));
  NoteProgramOutcome(Ended(1), "90");  // the screen shows it
  NoteProgramOutcome(NotCreated(2), "90");
  EXPECT_EQ(g_written, (Ids{111, 113, 111}));
  event_log::SetWriter(nullptr);
}

}  // namespace
