#pragma once

#include <array>
#include <cstdint>

#include "orientation/IniFile.h"

// The settings file beside the executable: one section, integer values only.
namespace settings {

inline constexpr const char* kFileName = "GSensor_Setting.ini";
inline constexpr const char* kSection = "G-SensorCtrl";

inline constexpr const char* kLastOrientation = "GSensorLastOrientation";
// The orientation a decision asked for that the screen does not show yet (0: none). Written only
// when it changes, so a screen that turns at once never adds it to the file.
inline constexpr const char* kPendingOrientation = "GSensorPendingOrientation";

inline constexpr const char* kPortBase = "PortBase";
inline constexpr const char* kGSensorDevice = "G_SensorDevice";
inline constexpr const char* kAccessTimeInterval = "GSensorAccessTimeInterval";
inline constexpr const char* kIoCommandDelay = "GSensorIOCommand_Delay";
inline constexpr const char* kIoActiveCommandDelay = "GSensorIO_Active_Command_Delay";
inline constexpr const char* kActiveRotationCount = "GSensor_Active_Rotation_Count";

// Written together after every rotation request, in this order; exactly one of them is 1.
inline constexpr const char* kTestUp = "OrientationTest_Up";
inline constexpr const char* kTestDown = "OrientationTest_Down";
inline constexpr const char* kTestLeft = "OrientationTest_Left";
inline constexpr const char* kTestRight = "OrientationTest_Right";

struct TuningKey {
  const char* key;
  std::uint32_t defaultValue;
};

// The tuning values, in the order they are loaded and first written.
inline constexpr std::array<TuningKey, 6> kTuningKeys{{
    {kPortBase, 61504},
    {kGSensorDevice, 153},
    {kAccessTimeInterval, 3000},
    {kIoCommandDelay, 1},
    {kIoActiveCommandDelay, 1},
    {kActiveRotationCount, 0},
}};

}  // namespace settings

// The settings file in the module directory, built before the process entry runs. The WMI
// wait thread resets the stored orientation through it.
extern CIniFile g_iniFile;
