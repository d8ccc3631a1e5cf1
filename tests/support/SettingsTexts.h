#pragma once

#include <string>

// The settings file as the system leaves it, with all defaults: after a first start, and after
// that start and one rotation to Left the screen shows (Left was pending while the display
// program ran).
inline constexpr const char* kSettingsAfterFirstStart =
    "[G-SensorCtrl]\r\n"
    "GSensorLastOrientation=2\r\n"
    "PortBase=61504\r\n"
    "G_SensorDevice=153\r\n"
    "GSensorAccessTimeInterval=3000\r\n"
    "GSensorIOCommand_Delay=1\r\n"
    "GSensorIO_Active_Command_Delay=1\r\n"
    "GSensor_Active_Rotation_Count=0\r\n";

inline constexpr const char* kSettingsAfterLeft =
    "[G-SensorCtrl]\r\n"
    "GSensorLastOrientation=4\r\n"
    "PortBase=61504\r\n"
    "G_SensorDevice=153\r\n"
    "GSensorAccessTimeInterval=3000\r\n"
    "GSensorIOCommand_Delay=1\r\n"
    "GSensorIO_Active_Command_Delay=1\r\n"
    "GSensor_Active_Rotation_Count=0\r\n"
    "GSensorPendingOrientation=0\r\n"
    "OrientationTest_Up=0\r\n"
    "OrientationTest_Down=0\r\n"
    "OrientationTest_Left=1\r\n"
    "OrientationTest_Right=0\r\n";

// After that start and a Left the display program did not turn to (it declined, or could not be
// started): the orientation stays Down, and Left is pending.
inline const std::string kSettingsWithLeftPending =
    std::string(kSettingsAfterFirstStart) + "GSensorPendingOrientation=4\r\n";
