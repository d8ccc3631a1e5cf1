#pragma once

// The settings file as a first start leaves it: the stored orientation, written when the wait
// thread starts, then the six tuning keys at their defaults, written by the sink's
// construction, in the private-profile layout of the platform.
inline constexpr const char* kFirstStartSettings =
    "[G-SensorCtrl]\r\n"
    "GSensorLastOrientation=2\r\n"
    "PortBase=61504\r\n"
    "G_SensorDevice=153\r\n"
    "GSensorAccessTimeInterval=3000\r\n"
    "GSensorIOCommand_Delay=1\r\n"
    "GSensorIO_Active_Command_Delay=1\r\n"
    "GSensor_Active_Rotation_Count=0\r\n";
