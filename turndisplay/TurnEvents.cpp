#include "turndisplay/TurnEvents.h"

#include <utility>

#include "common/Format.h"
#include "turndisplay/RotationRules.h"

namespace turndisplay {

namespace {

constexpr EventType kInformation = EventType::Information;
constexpr EventType kWarning = EventType::Warning;
constexpr EventType kError = EventType::Error;

EventEntry Entry(std::uint32_t id, std::vector<std::string> strings) {
  const EventKind* const kind = FindEvent(id);
  return {id, kind != nullptr ? kind->type : kError, std::move(strings)};
}

}  // namespace

const EventKind kTurnEvents[16] = {
    {200, kInformation, 2},  // turned: display, angle
    {201, kInformation, 2},  // already so
    {202, kInformation, 1},  // nothing to restore: why
    {203, kInformation, 2},  // AutoRotation is 0
    {204, kInformation, 2},  // the user's lock
    {205, kInformation, 2},  // an application's hold
    {206, kInformation, 2},  // a remote session
    {207, kInformation, 2},  // Windows turns the screen itself
    {208, kInformation, 2},  // laptop posture or docked
    {210, kWarning, 2},      // no built-in panel: why, angle
    {211, kWarning, 3},      // after a restart: display, angle, the driver's answer
    {212, kWarning, 4},      // an unusable setting: name, key, fault, the value taken
    {220, kError, 1},        // a bad command line: what was given
    {221, kError, 3},        // the driver refused: display, angle, its answer
    {222, kError, 2},        // the current mode unreadable
    {kOutOfMemoryEvent, kError, 0},
};

const EventKind* FindEvent(std::uint32_t id) {
  for (const EventKind& kind : kTurnEvents)
    if (kind.id == id) return &kind;
  return nullptr;
}

EventEntry OutcomeEvent(const Report& report) {
  const std::string angle = std::to_string(AngleOf(report.wanted));
  const std::vector<std::string> turn = {report.display, angle};
  const std::string answer = FormatString("%s (%d)", DisplayChangeName(report.displayChange),
                                          static_cast<int>(report.displayChange));
  switch (report.outcome) {
    case Outcome::Turned: return Entry(200, turn);
    case Outcome::AlreadySo: return Entry(201, turn);
    case Outcome::NothingToRestore: return Entry(202, {NothingToRestoreReason(report)});
    case Outcome::OffByPolicy: return Entry(203, turn);
    case Outcome::Locked: return Entry(204, turn);
    case Outcome::Held:
      return Entry((report.autoRotationState & kAutoRotationRemoteSession) != 0 ? 206 : 205, turn);
    case Outcome::WindowsRotates: return Entry(207, turn);
    case Outcome::LaptopPosture: return Entry(208, turn);
    case Outcome::NoBuiltInPanel: return Entry(210, {report.why, angle});
    case Outcome::RestartNeeded: return Entry(211, {report.display, angle, answer});
    case Outcome::BadArgument: return Entry(220, {report.arguments});
    case Outcome::Refused: return Entry(221, {report.display, angle, answer});
    case Outcome::ModeUnknown: return Entry(222, turn);
  }
  return Entry(221, {report.display, angle, answer});
}

EventEntry ProblemEvent(const PolicySetting& setting, const PolicyReading& reading,
                        const SettingProblem& problem) {
  return Entry(212, {setting.valueName, KeyName(problem.source), problem.what,
                     ValueTaken(setting, reading)});
}

}  // namespace turndisplay
