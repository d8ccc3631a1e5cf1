#pragma once

// Where a registered Pivotra leaves its traces, as the tests look for them: written out here,
// not taken from the code under test.
namespace session {

// Below HKEY_CLASSES_ROOT.
inline constexpr const char* kAppIdKey = "AppID\\{5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}";
inline constexpr const char* kExeKey = "AppID\\Pivotra.EXE";
inline constexpr const char* kTypeLibKey = "TypeLib\\{8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}";
// Below HKEY_LOCAL_MACHINE.
inline constexpr const char* kServiceKey = "System\\CurrentControlSet\\Services\\Pivotra";
inline constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pivotra";

}  // namespace session
