#pragma once

#include <cstdint>

// What makes the service ask the display program again for an orientation the screen does not
// show yet: something that may have taken away what kept the program from turning it.
enum class CatchUpTrigger : std::int32_t {
  None = 0,
  PostureChange,      // ConvertibleSlateMode changed: laptop or tablet posture
  RotationLockChange, // the user's rotation lock (AutoRotation\Enable) changed
  SignIn,             // WTS_SESSION_LOGON
  Unlock,             // WTS_SESSION_UNLOCK
  ConsoleConnect,     // WTS_CONSOLE_CONNECT
  Resume,             // PBT_APMRESUMEAUTOMATIC
  DisplayOn,          // the console display came on (GUID_CONSOLE_DISPLAY_STATE)
};

// "a posture change", "a sign-in", ...: what the catch-up's debugger line names.
const char* TriggerName(CatchUpTrigger trigger);
