#include "turndisplay/win32_turn_platform.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "common/DebugPrint.h"
#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "orientation/SettingsFile.h"
#include "turndisplay/RotationRules.h"
#include "turndisplay/win32_setting_value.h"

namespace turndisplay {

namespace {

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
static_assert(AR_DISABLED == kAutoRotationDisabledByUser &&
                  AR_SUPPRESSED == kAutoRotationSuppressed &&
                  AR_REMOTESESSION == kAutoRotationRemoteSession &&
                  AR_DOCKED == kAutoRotationDocked && AR_LAPTOP == kAutoRotationLaptop,
              "the auto-rotation states the rules read");
static_assert(DISPLAYCONFIG_OUTPUT_TECHNOLOGY_LVDS == kOutputLvds &&
                  DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EMBEDDED ==
                      kOutputDisplayPortEmbedded &&
                  DISPLAYCONFIG_OUTPUT_TECHNOLOGY_UDI_EMBEDDED == kOutputUdiEmbedded &&
                  static_cast<std::uint32_t>(DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INTERNAL) ==
                      kOutputInternal,
              "the connectors of a built-in panel");
static_assert(ERROR_FILE_NOT_FOUND == kErrorFileNotFound && ERROR_MORE_DATA == kErrorMoreData &&
                  REG_DWORD == kRegDword,
              "the registry results the policy reading knows");
// The display-configuration structures hold only 32-bit fields, LUIDs and one 64-bit pixel
// rate: the same sizes on i686 as on x86_64, which a packing mistake would break.
static_assert(sizeof(DISPLAYCONFIG_PATH_INFO) == 72 && sizeof(DISPLAYCONFIG_MODE_INFO) == 64 &&
                  sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER) == 20 &&
                  sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME) == 420 &&
                  sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME) == 84,
              "the display-configuration structures as Windows lays them out");

// A routine of user32 by name, of the type its declaration gives, or null. GetProcAddress
// returns a generic routine pointer: through void (*)() it becomes the declared type.
template <typename Routine>
Routine User32Routine(const char* name) {
  const HMODULE user32 = ::GetModuleHandleA("user32.dll");
  const FARPROC found = user32 != nullptr ? ::GetProcAddress(user32, name) : nullptr;
  return reinterpret_cast<Routine>(reinterpret_cast<void (*)()>(found));
}

struct DisplayConfigRoutines {
  decltype(&::GetDisplayConfigBufferSizes) bufferSizes;
  decltype(&::QueryDisplayConfig) query;
  decltype(&::DisplayConfigGetDeviceInfo) deviceInfo;
};

std::optional<std::uint32_t> TargetTechnology(const DisplayConfigRoutines& routines,
                                              const DISPLAYCONFIG_PATH_INFO& path) {
  DISPLAYCONFIG_TARGET_DEVICE_NAME target = {};
  target.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
  target.header.size = sizeof(target);
  target.header.adapterId = path.targetInfo.adapterId;
  target.header.id = path.targetInfo.id;
  if (routines.deviceInfo(&target.header) != ERROR_SUCCESS) return std::nullopt;
  return static_cast<std::uint32_t>(target.outputTechnology);
}

std::string SourceName(const DisplayConfigRoutines& routines, const DISPLAYCONFIG_PATH_INFO& path) {
  DISPLAYCONFIG_SOURCE_DEVICE_NAME source = {};
  source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
  source.header.size = sizeof(source);
  source.header.adapterId = path.sourceInfo.adapterId;
  source.header.id = path.sourceInfo.id;
  if (routines.deviceInfo(&source.header) != ERROR_SUCCESS) return {};
  // "\\.\DISPLAY1": plain ASCII, as ChangeDisplaySettingsExA wants it.
  char name[sizeof(source.viewGdiDeviceName)] = {};
  source.viewGdiDeviceName[std::size(source.viewGdiDeviceName) - 1] = L'\0';
  if (::WideCharToMultiByte(CP_ACP, 0, source.viewGdiDeviceName, -1, name, sizeof(name), nullptr,
                            nullptr) == 0)
    return {};
  return name;
}

// The active paths; the topology may change between the size query and the query itself.
std::optional<std::vector<DISPLAYCONFIG_PATH_INFO>> QueryActivePaths(
    const DisplayConfigRoutines& routines) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    if (routines.bufferSizes(QDC_ONLY_ACTIVE_PATHS, &pathCount, &modeCount) != ERROR_SUCCESS)
      return std::nullopt;
    if (pathCount == 0) return std::vector<DISPLAYCONFIG_PATH_INFO>{};
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(pathCount);
    // One spare mode, so that the array is never null.
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(modeCount + 1);
    const LONG result = routines.query(QDC_ONLY_ACTIVE_PATHS, &pathCount, paths.data(),
                                       &modeCount, modes.data(), nullptr);
    if (result == ERROR_SUCCESS) {
      paths.resize(pathCount);
      return paths;
    }
    if (result != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  }
  return std::nullopt;
}

const char* DeviceOrPrimary(const std::string& device) {
  return device.empty() ? nullptr : device.c_str();
}

}  // namespace

// SM_CONVERTIBLESLATEMODE, which the headers give only for Windows 8 and later; older systems
// answer 0 for a metric they do not know, as in tablet posture.
std::int32_t Win32TurnPlatform::SlateMode() {
  constexpr int kConvertibleSlateMode = 0x2003;
  return ::GetSystemMetrics(kConvertibleSlateMode);
}

// GetAutoRotationState exists from Windows 8 on.
std::optional<std::uint32_t> Win32TurnPlatform::AutoRotationState() {
  const auto getAutoRotationState =
      User32Routine<decltype(&::GetAutoRotationState)>("GetAutoRotationState");
  AR_STATE state = AR_ENABLED;
  if (getAutoRotationState == nullptr || !getAutoRotationState(&state)) return std::nullopt;
  return static_cast<std::uint32_t>(state);
}

std::optional<std::vector<DisplayPath>> Win32TurnPlatform::ActiveDisplayPaths() {
  const DisplayConfigRoutines routines = {
      User32Routine<decltype(&::GetDisplayConfigBufferSizes)>("GetDisplayConfigBufferSizes"),
      User32Routine<decltype(&::QueryDisplayConfig)>("QueryDisplayConfig"),
      User32Routine<decltype(&::DisplayConfigGetDeviceInfo)>("DisplayConfigGetDeviceInfo"),
  };
  if (!routines.bufferSizes || !routines.query || !routines.deviceInfo) return std::nullopt;
  try {
    const std::optional<std::vector<DISPLAYCONFIG_PATH_INFO>> active = QueryActivePaths(routines);
    if (!active) return std::nullopt;
    std::vector<DisplayPath> paths;
    for (const DISPLAYCONFIG_PATH_INFO& path : *active)
      paths.push_back({static_cast<std::uint32_t>(path.targetInfo.outputTechnology),
                       TargetTechnology(routines, path), SourceName(routines, path)});
    return paths;
  } catch (const std::bad_alloc&) {
    // Counts beyond reason: as if there were no display configuration.
    return std::nullopt;
  }
}

std::optional<ModeFields> Win32TurnPlatform::CurrentMode(const std::string& device) {
  DEVMODEA devMode = {};
  devMode.dmSize = sizeof(devMode);
  if (!::EnumDisplaySettingsExA(DeviceOrPrimary(device), ENUM_CURRENT_SETTINGS, &devMode, 0))
    return std::nullopt;
  return ModeFields{devMode.dmFields, devMode.dmPelsWidth, devMode.dmPelsHeight,
                    devMode.dmDisplayOrientation};
}

std::int32_t Win32TurnPlatform::ChangeMode(const std::string& device, const DisplayMode& mode,
                                          bool test) {
  // Only orientation and size are asked for: frequency, depth and position stay as they are.
  DEVMODEA devMode = {};
  devMode.dmSize = sizeof(devMode);
  devMode.dmFields = DM_DISPLAYORIENTATION | DM_PELSWIDTH | DM_PELSHEIGHT;
  devMode.dmDisplayOrientation = mode.orientation;
  devMode.dmPelsWidth = mode.width;
  devMode.dmPelsHeight = mode.height;
  // Stored in the user's profile as well, so the display keeps the orientation after the next
  // sign-in; without CDS_GLOBAL no other user's setting changes.
  return ::ChangeDisplaySettingsExA(DeviceOrPrimary(device), &devMode, nullptr,
                                    test ? CDS_TEST : CDS_UPDATEREGISTRY, nullptr);
}

std::string Win32TurnPlatform::PrimaryDisplayName() {
  DISPLAY_DEVICEA device = {};
  device.cb = sizeof(device);
  for (DWORD index = 0; ::EnumDisplayDevicesA(nullptr, index, &device, 0); ++index) {
    if ((device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0) {
      device.DeviceName[sizeof(device.DeviceName) - 1] = '\0';
      return device.DeviceName;
    }
    device.cb = sizeof(device);
  }
  return {};
}

RegistryRead Win32TurnPlatform::ReadSettingValue(SettingSource source, const char* valueName) {
  return ReadSettingValueOf(source, valueName);
}

std::string Win32TurnPlatform::ProgramDirectory() { return GetModuleDirectory(true); }

std::optional<SavedOrientations> Win32TurnPlatform::ReadSavedOrientations(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::nullopt;
  return SavedOrientations{
      ::GetPrivateProfileIntA(settings::kSection, settings::kLastOrientation, 0, path.c_str()),
      ::GetPrivateProfileIntA(settings::kSection, settings::kPendingOrientation, 0, path.c_str())};
}

namespace {

// A standard handle the program was given: a console, a file, a pipe. TurnDisplay.exe, of the
// Windows subsystem, started from a console without redirection has none, or a stale value that
// GetFileType refuses.
HANDLE GivenHandle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
                 ::GetFileType(handle) != FILE_TYPE_UNKNOWN
             ? handle
             : nullptr;
}

// The console of the process that started the program (a command prompt, PowerShell), opened at
// the first line that needs it; none when the service or the sign-in started it. The program
// never makes a console of its own.
HANDLE ParentsConsole() {
  static const unique_file_handle console = [] {
    unique_file_handle opened;
    if (::AttachConsole(ATTACH_PARENT_PROCESS))
      opened.reset(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    return opened;
  }();
  return console.get();
}

// One line as the C runtime's text mode wrote it, with a carriage return before the line feed.
void WriteLine(DWORD which, const char* line) {
  HANDLE output = GivenHandle(which);
  if (output == nullptr) output = ParentsConsole();
  if (output == nullptr) return;
  DWORD written = 0;
  ::WriteFile(output, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  ::WriteFile(output, "\r\n", 2, &written, nullptr);
}

}  // namespace

// Started by the service or at sign-in, the program has no console: the debugger stream keeps
// the line.
void SayLine(const char* line) {
  WriteLine(STD_ERROR_HANDLE, line);
  DebugPrint("%s", line);
}

void Win32TurnPlatform::Say(const std::string& line) { SayLine(line.c_str()); }

void Win32TurnPlatform::Print(const std::string& line) {
  WriteLine(STD_OUTPUT_HANDLE, line.c_str());
}

}  // namespace turndisplay
