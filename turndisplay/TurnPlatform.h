#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "turndisplay/ChainStatus.h"
#include "turndisplay/DisplayChoice.h"
#include "turndisplay/TurnDecision.h"
#include "turndisplay/TurnEvents.h"
#include "turndisplay/TurnPolicy.h"

// Every Windows call of the display-rotation program, and nothing else: the real one on
// Windows, a fake in the native tests.
namespace turndisplay {

// The fields of ENUM_CURRENT_SETTINGS that the program reads.
struct ModeFields {
  std::uint32_t fields;  // dmFields
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t orientation;
};

// What the service saved: the orientation the screen shows, and the one it still waits for.
struct SavedOrientations {
  std::uint32_t shown = 0;
  std::uint32_t pending = 0;
};

class TurnPlatform {
 public:
  virtual ~TurnPlatform() = default;

  // GetSystemMetrics(SM_CONVERTIBLESLATEMODE).
  virtual std::int32_t SlateMode() = 0;
  // GetAutoRotationState; none where the routine is missing or fails.
  virtual std::optional<std::uint32_t> AutoRotationState() = 0;
  // QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS) with each path's target and source names; none
  // where the routines are missing or fail.
  virtual std::optional<std::vector<DisplayPath>> ActiveDisplayPaths() = 0;
  // EnumDisplaySettingsExA(ENUM_CURRENT_SETTINGS) of a GDI device, "" being the primary
  // display; none when it fails.
  virtual std::optional<ModeFields> CurrentMode(const std::string& device) = 0;
  // ChangeDisplaySettingsExA with the mode's size and orientation, kept in the user's profile;
  // its DISP_CHANGE_ result. With test, only whether the driver would take the mode (CDS_TEST).
  virtual std::int32_t ChangeMode(const std::string& device, const DisplayMode& mode,
                                  bool test) = 0;
  // The GDI device name of the primary display; "" when unknown.
  virtual std::string PrimaryDisplayName() = 0;
  // One value of the policy key or of the preference key.
  virtual RegistryRead ReadSettingValue(SettingSource key, const char* valueName) = 0;
  // The directory of the program, with its trailing backslash.
  virtual std::string ProgramDirectory() = 0;
  // "GSensorLastOrientation" and "GSensorPendingOrientation" of the settings file at path (0
  // when a value is missing); none when the file is missing.
  virtual std::optional<SavedOrientations> ReadSavedOrientations(const std::string& path) = 0;
  // One line on stderr and the debugger stream.
  virtual void Say(const std::string& line) = 0;
  // One entry in the Application event log.
  virtual void Log(const EventEntry& entry) = 0;
  // One line on standard output: what "status" tells.
  virtual void Print(const std::string& line) = 0;

  // What "status" reads of the chain beside the display, each as a standard user may.
  // The service's registration, as the service control manager reads it back.
  virtual ServiceReading ReadServiceRegistration() = 0;
  // Looks the G-sensor's class up in ROOT\WMI: the HRESULT of the look-up.
  virtual std::uint32_t LookUpWmiClass() = 0;
  // What the service recorded (common/StatusRecord.h).
  virtual RecordReading ReadStatusRecord() = 0;
  virtual EventSourceReading ReadEventSource() = 0;
  // Now, as a UTC FILETIME.
  virtual std::uint64_t Now() = 0;
};

}  // namespace turndisplay
