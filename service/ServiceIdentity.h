#pragma once

// Who the program is to COM, the registry and the service control manager.
namespace identity {

inline constexpr const char* kAppId = "{5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}";
inline constexpr const char* kAppIdRoot = "AppID";               // under HKEY_CLASSES_ROOT
inline constexpr const char* kLocalServiceValue = "LocalService";
inline constexpr const char* kServiceParametersValue = "ServiceParameters";
inline constexpr const char* kLocalServiceText = "Pivotra";      // fixed text, not the loaded name
inline constexpr const char* kServiceParametersText = "-Service";
inline constexpr const char* kServiceDependencies = "RPCSS\0";   // a list: one name, then an empty one
// The account a change of configuration names; a creation names none for it.
inline constexpr const char* kLocalSystemAccount = "LocalSystem";

// Resources of the executable.
inline constexpr unsigned kServiceNameString = 100;
inline constexpr unsigned kDescriptionString = 101;
inline constexpr unsigned kRegistryScript = 100;   // type "REGISTRY"

// The type library's identity {8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}, version 1.0.
inline constexpr unsigned kTypeLibMajor = 1;
inline constexpr unsigned kTypeLibMinor = 0;

}  // namespace identity
