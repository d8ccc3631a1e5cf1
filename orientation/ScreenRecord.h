#pragma once

#include <cstdint>
#include <optional>

#include "orientation/OrientationDecision.h"
#include "orientation/ProgramOutcome.h"
#include "orientation/SettingsFile.h"

// What the settings file says about the screen: the orientation it shows, recorded only once the
// display program says so, and the one a decision asked for that it does not show yet. Sink is
// the event sink or a test's stand-in; the guard's holder alone calls these.
namespace orientation_worker {

// The pending orientation, in memory and in the file; the file is written only on a change.
template <typename Sink>
void SetPending(Sink& sink, std::uint32_t pending) {
  if (sink.m_pendingOrientation == pending) return;
  sink.m_pendingOrientation = pending;
  sink.m_iniFile.WriteInt(settings::kSection, settings::kPendingOrientation, pending);
}

// A report of the orientation the screen shows: the one still pending is not wanted any more.
template <typename Sink>
void DropPending(Sink& sink, const OrientationRow& shown) {
  const OrientationRow* pending = FindOrientation(sink.m_pendingOrientation);
  if (pending == nullptr) return;
  Sink::Log("Pending %s dropped: the device is back at %s", pending->word, shown.word);
  SetPending(sink, 0);
}

// Asks the display program for row's orientation. Only when it says the screen shows it is the
// orientation recorded, with its test flags, and are the counters reset; otherwise it stays
// pending, to be asked for again when what kept the program from turning may have gone.
template <typename Sink>
void TurnAndRecord(Sink& sink, const OrientationRow& row) {
  const std::optional<ProgramOutcome> outcome = sink.RotateAndAwait(row.kind);
  const auto code = static_cast<std::uint32_t>(row.code);
  if (outcome && ScreenShows(*outcome)) {
    sink.m_iniFile.WriteInt(settings::kSection, settings::kLastOrientation, code);
    sink.m_countDown = sink.m_countUp = sink.m_countRight = sink.m_countLeft = 0;
    for (const TestFlag& flag : TestFlagsFor(row.code))
      sink.m_iniFile.WriteInt(settings::kSection, flag.key, flag.value);
    SetPending(sink, 0);
    return;
  }
  if (outcome) Sink::Log("%s", PendingLine(row.word, *outcome).c_str());
  SetPending(sink, code);
}

}  // namespace orientation_worker
