#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "turndisplay/TurnOutcome.h"
#include "turndisplay/TurnPolicy.h"

// The display-rotation program's entries in the Application event log, under the service's
// source "Pivotra": one event ID for each outcome, each unusable setting and running out of
// memory. Pivotra.EXE carries the message table (resources/Messages.mc, IDs 200-299), which
// docs/event-log.md lists for administrators.
namespace turndisplay {

inline constexpr const char* kEventSource = "Pivotra";

// EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE and EVENTLOG_INFORMATION_TYPE.
enum class EventType : std::uint16_t { Error = 1, Warning = 2, Information = 4 };

// One message of the table and the type of its entries: information when the screen turned or
// a rule declined the turn, warning when nothing could be turned, error for a failure.
struct EventKind {
  std::uint32_t id;
  EventType type;
  std::size_t strings;  // the insertion strings it takes, %1 to %n
};

extern const EventKind kTurnEvents[16];

// The message of an ID; null for none of the program's.
const EventKind* FindEvent(std::uint32_t id);

inline constexpr std::uint32_t kOutOfMemoryEvent = 223;

struct EventEntry {
  std::uint32_t id;
  EventType type;
  std::vector<std::string> strings;
};

// The entry of an outcome: display, angle and reason as its insertion strings.
EventEntry OutcomeEvent(const Report& report);

// The entry of an unusable setting: its name, key, fault and the value taken instead.
EventEntry ProblemEvent(const PolicySetting& setting, const PolicyReading& reading,
                        const SettingProblem& problem);

}  // namespace turndisplay
