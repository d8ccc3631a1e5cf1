// TurnDisplay.exe: turns the primary display to the angle of its one argument, unless the user
// has locked rotation, and says in one line what it did.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "common/DebugPrint.h"
#include "tools/turndisplay/TurnDecision.h"

namespace {

using namespace turndisplay;

static_assert(DMDO_DEFAULT == 0 && DMDO_90 == 1 && DMDO_180 == 2 && DMDO_270 == 3,
              "orientations are quarter turns");
static_assert(DM_DISPLAYORIENTATION == kFieldOrientation && DM_PELSWIDTH == kFieldWidth &&
                  DM_PELSHEIGHT == kFieldHeight,
              "the fields read and asked for");
static_assert(DISP_CHANGE_SUCCESSFUL == 0 && DISP_CHANGE_RESTART == 1 &&
                  DISP_CHANGE_FAILED == -1 && DISP_CHANGE_BADMODE == -2 &&
                  DISP_CHANGE_NOTUPDATED == -3 && DISP_CHANGE_BADFLAGS == -4 &&
                  DISP_CHANGE_BADPARAM == -5 && DISP_CHANGE_BADDUALVIEW == -6,
              "the display-change results named in the outcome line");

struct Report {
  Outcome outcome;
  std::int32_t displayChange;
};

// GetAutoRotationState exists from Windows 8 on; it is looked up when needed so that the
// program still starts where it is missing, and there no lock exists.
bool RotationLockedByUser() {
  const HMODULE user32 = ::GetModuleHandleA("user32.dll");
  const FARPROC found =
      user32 != nullptr ? ::GetProcAddress(user32, "GetAutoRotationState") : nullptr;
  if (found == nullptr) return LockedByUser(false, 0);

  // BOOL GetAutoRotationState(PAR_STATE), AR_STATE being a 32-bit enumeration. GetProcAddress
  // returns a generic routine pointer: through void (*)() it becomes the documented type.
  using GetAutoRotationStateRoutine = BOOL(WINAPI*)(DWORD* state);
  const auto getAutoRotationState =
      reinterpret_cast<GetAutoRotationStateRoutine>(reinterpret_cast<void (*)()>(found));
  DWORD state = 0;
  const bool queried = getAutoRotationState(&state) != FALSE;
  return LockedByUser(queried, state);
}

// A service that names no desktop for the process it starts in the user's session passes on
// its own window station, which is not the interactive one, and display changes made from there
// are refused. The program then joins the user's desktop. The station and desktop stay open
// until the process ends: neither can be closed while it is in use.
void JoinUsersDesktop() {
  char name[64] = {};
  DWORD needed = 0;
  const HWINSTA current = ::GetProcessWindowStation();
  if (current != nullptr &&
      ::GetUserObjectInformationA(current, UOI_NAME, name, sizeof(name), &needed) &&
      IsInteractiveWindowStation(name))
    return;

  const HWINSTA interactive = ::OpenWindowStationA("WinSta0", FALSE, MAXIMUM_ALLOWED);
  if (interactive == nullptr) return;
  if (!::SetProcessWindowStation(interactive)) {
    ::CloseWindowStation(interactive);
    return;
  }
  const HDESK desktop = ::OpenDesktopA("Default", 0, FALSE, MAXIMUM_ALLOWED);
  if (desktop != nullptr && !::SetThreadDesktop(desktop)) ::CloseDesktop(desktop);
}

Report Turn(Orientation wanted) {
  const bool locked = RotationLockedByUser();

  DEVMODEA devMode = {};
  devMode.dmSize = sizeof(devMode);
  std::optional<DisplayMode> current;
  if (::EnumDisplaySettingsExA(nullptr, ENUM_CURRENT_SETTINGS, &devMode, 0))
    current = ReportedMode(devMode.dmFields, devMode.dmPelsWidth, devMode.dmPelsHeight,
                           devMode.dmDisplayOrientation);

  const Decision decision = DecideTurn(current, wanted, locked);
  switch (decision.verdict) {
    case Verdict::Locked: return {Outcome::Locked, 0};
    case Verdict::AlreadySo: return {Outcome::AlreadySo, 0};
    case Verdict::ModeUnknown: return {Outcome::ModeUnknown, 0};
    case Verdict::Turn: break;
  }

  // Only orientation and size are asked for: frequency, depth and position stay as they are.
  // No driver data follows this structure, whatever the enumeration left in dmDriverExtra.
  devMode.dmFields = DM_DISPLAYORIENTATION | DM_PELSWIDTH | DM_PELSHEIGHT;
  devMode.dmDriverExtra = 0;
  devMode.dmDisplayOrientation = decision.mode.orientation;
  devMode.dmPelsWidth = decision.mode.width;
  devMode.dmPelsHeight = decision.mode.height;
  // Stored in the user's profile as well, so the display keeps the orientation after the next
  // sign-in; without CDS_GLOBAL no other user's setting changes.
  const LONG result =
      ::ChangeDisplaySettingsExA(nullptr, &devMode, nullptr, CDS_UPDATEREGISTRY, nullptr);
  return {OutcomeOfChange(result), static_cast<std::int32_t>(result)};
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Orientation> wanted = ParseArguments(argc, argv);
  Report report = {Outcome::BadArgument, 0};
  if (wanted) {
    JoinUsersDesktop();
    report = Turn(*wanted);
  }

  // Started by the service, the program has no console: the debugger stream keeps the line.
  const std::string line = OutcomeLine(report.outcome, wanted.value_or(0), report.displayChange);
  std::fprintf(stderr, "%s\n", line.c_str());
  DebugPrint("%s", line.c_str());
  return ExitCodeFor(report.outcome);
}
