#pragma once

#include <cstdint>
#include <optional>

#include "orientation/OrientationDecision.h"
#include "orientation/ProgramOutcome.h"
#include "orientation/SettingsFile.h"

// What the settings file says about the screen: the orientation it shows, recorded only once the
// display program says so, and the one the device asks for that the screen does not show. Sink
// is the event sink or a test's stand-in; the guard's holder alone calls these.
namespace orientation_worker {

inline std::uint32_t CodeOf(const OrientationRow& row) {
  return static_cast<std::uint32_t>(row.code);
}

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

// Asks the display program for target while the device reports device: the same orientation,
// or the native landscape that the posture calls for. shown is what the screen shows (null when
// the file holds no orientation). The device's orientation is pending from before the start, in
// the file too, so that a service ended while the program runs still knows it; it stays pending
// while the screen shows the posture's landscape instead. Only when the program says the screen
// shows target is target recorded, with its test flags, and are the counters reset.
template <typename Sink>
void TurnTo(Sink& sink, const OrientationRow& target, const OrientationRow& device,
            const OrientationRow* shown) {
  const bool deviceShown = shown != nullptr && shown->code == device.code;
  if (!deviceShown) SetPending(sink, CodeOf(device));
  const std::optional<ProgramOutcome> outcome = sink.RotateAndAwait(target.kind);
  if (!outcome) return;
  if (!ScreenShows(*outcome)) {
    if (deviceShown) {
      Sink::Log("The screen stays at %s: %s", device.word, OutcomeText(*outcome).c_str());
    } else {
      Sink::Log("%s", PendingLine(device.word, *outcome).c_str());
    }
    return;
  }
  sink.m_iniFile.WriteInt(settings::kSection, settings::kLastOrientation, CodeOf(target));
  sink.m_countDown = sink.m_countUp = sink.m_countRight = sink.m_countLeft = 0;
  for (const TestFlag& flag : TestFlagsFor(target.code))
    sink.m_iniFile.WriteInt(settings::kSection, flag.key, flag.value);
  if (target.code == device.code) {
    SetPending(sink, 0);
    return;
  }
  SetPending(sink, CodeOf(device));
  Sink::Log("%s stays pending: the screen shows %s in laptop posture or docked", device.word,
            target.word);
}

}  // namespace orientation_worker
