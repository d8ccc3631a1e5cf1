#include "orientation/LaunchNotice.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>

#include "common/EventLogWriter.h"
#include "common/Format.h"
#include "orientation/RotationLauncher.h"
#include "resources/EventMessages.h"

namespace {

// The Win32 errors a start of the program meets in the field.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kNoToken = 1008;                      // nobody signed in
constexpr std::uint32_t kDisabledByPolicy = 1260;             // AppLocker, software restriction
constexpr std::uint32_t kIntegrityPolicyViolation = 4551;     // Windows Defender Application Control

// Distinct reasons held back at once; past them nothing more is written until the screen shows.
constexpr std::size_t kMostReasons = 16;

LaunchEntry Entry(const event_messages::Message& message, std::vector<std::string> strings) {
  return {message.type, message.id, std::move(strings)};
}

LaunchEntry NotStarted(const ProgramOutcome& outcome, std::string angle) {
  using namespace event_messages;
  std::string error = std::to_string(outcome.error);
  switch (outcome.launchResult) {
    case launcher::kNoConsoleSession:
      return Entry(kProgramNoUser, {angle, "no session is attached to the console", error});
    case launcher::kNoUserToken:
      return Entry(kProgramNoUser, {angle,
                                    outcome.error == kNoToken
                                        ? "nobody is signed in at the console"
                                        : "the token of the console's user could not be had",
                                    error});
    default:
      break;
  }
  switch (outcome.error) {
    case kFileNotFound:
    case kPathNotFound:
      return Entry(kProgramMissing, {angle, error});
    case kDisabledByPolicy:
      return Entry(kProgramBlocked,
                   {angle, "an AppLocker or software restriction policy does not allow it", error});
    case kIntegrityPolicyViolation:
      return Entry(kProgramBlocked,
                   {angle, "the Windows Defender Application Control policy does not allow it",
                    error});
    case kAccessDenied:
      return Entry(kProgramDenied, {angle, error});
    default:
      return Entry(kProgramNotStarted, {angle, error});
  }
}

// The program's exit codes (docs/turndisplay.md): its failures, and the rules that declined.
std::optional<LaunchEntry> Ended(std::uint32_t exitCode, std::string angle) {
  switch (exitCode) {
    case 2:  // bad command line
    case 4:  // the driver refused
    case 5:  // the current mode unreadable
    case 6:  // after a restart
      return Entry(event_messages::kProgramFailed, {angle, std::to_string(exitCode)});
    case 0:
    case 1:
    case 3:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
      return std::nullopt;
    default:  // a crash (0xC0000005), or a code it never gives
      return Entry(event_messages::kProgramCrashed,
                   {angle, FormatString("0x%08X", static_cast<unsigned>(exitCode))});
  }
}

}  // namespace

std::optional<LaunchEntry> LaunchEntryFor(const ProgramOutcome& outcome, const char* angle) {
  switch (outcome.kind) {
    case ProgramOutcome::Kind::NotStarted:
      return NotStarted(outcome, angle);
    case ProgramOutcome::Kind::EndedAtLimit: {
      const auto limit = std::chrono::duration_cast<std::chrono::seconds>(launcher::kProgramWait);
      return Entry(event_messages::kProgramEndedAtLimit,
                   {angle, std::to_string(static_cast<long long>(limit.count()))});
    }
    case ProgramOutcome::Kind::Stopped:
      return std::nullopt;
    case ProgramOutcome::Kind::Ended:
      break;
  }
  return Ended(outcome.exitCode, angle);
}

bool LaunchThrottle::ShouldWrite(const ProgramOutcome& outcome) {
  if (written_.size() >= kMostReasons ||
      std::find(written_.begin(), written_.end(), outcome) != written_.end())
    return false;
  written_.push_back(outcome);
  return true;
}

void NoteProgramOutcome(const ProgramOutcome& outcome, const char* angle) {
  static std::mutex lock;
  static LaunchThrottle throttle;
  std::optional<LaunchEntry> entry;
  {
    const std::lock_guard<std::mutex> hold(lock);
    if (ScreenShows(outcome)) {
      throttle.ScreenShown();
      return;
    }
    entry = LaunchEntryFor(outcome, angle);
    if (!entry || !throttle.ShouldWrite(outcome)) return;
  }
  event_log::Write(entry->type, entry->id, entry->strings);
}
