#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/ServiceSettings.h"

// "status" for the whole chain beside the display: the service's registration as the service
// control manager reads it back, the G-sensor's WMI class, the subscription and the display
// program's last run as the service recorded them (common/StatusRecord.h), and the event
// source. Each is read through the platform; one function turns the readings into one line
// each, saying ok or what is wrong.
namespace turndisplay {

// "status" ends with it when a line of the chain is wrong; the turn's codes are 0 to 11.
inline constexpr int kChainFaultExitCode = 12;

// A value read back, or the Win32 error that kept it (0: read).
template <typename Value>
struct Reading {
  std::uint32_t error = 0;
  Value value{};
};

// SERVICE_FAILURE_ACTIONS: the reset period in seconds and one action per failure.
struct FailureActions {
  std::uint32_t resetPeriod = 0;
  std::vector<service_settings::Action> actions;
};

bool operator==(const FailureActions& left, const FailureActions& right);

// The service as the service control manager reads it back (QueryServiceStatusEx,
// QueryServiceConfigA, QueryServiceConfig2A).
struct ServiceReading {
  std::uint32_t openError = 0;   // of OpenSCManagerA or OpenServiceA; the rest is read only without
  Reading<std::uint32_t> state;  // dwCurrentState
  Reading<std::uint32_t> startType;  // dwStartType
  Reading<FailureActions> failureActions;
  Reading<std::uint32_t> failureActionsFlag;
  Reading<std::uint32_t> preshutdownTimeout;  // in ms
  Reading<std::uint32_t> sidType;
  Reading<std::vector<std::string>> privileges;
};

// The values under status_record::kKey; a value missing, or not of its type, is none.
struct RecordReading {
  std::uint32_t error = 0;  // of opening the key
  std::optional<std::uint32_t> subscription;
  std::string subscriptionDetail;
  std::optional<std::uint64_t> subscriptionTime;  // a UTC FILETIME
  std::optional<std::uint32_t> program;
  std::optional<std::uint32_t> programCode;
  std::optional<std::uint32_t> programAngle;
  std::optional<std::uint64_t> programTime;
};

// The event source's key under HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application.
struct EventSourceReading {
  std::uint32_t error = 0;           // of opening the key
  Reading<std::string> messageFile;  // EventMessageFile, its variables expanded
  bool messageFileExists = false;
  Reading<std::uint32_t> typesSupported;
};

struct ChainReadings {
  ServiceReading service;
  std::uint32_t wmiClass = 0;  // the HRESULT of looking the class up in ROOT\WMI
  RecordReading record;
  EventSourceReading eventSource;
  std::uint64_t now = 0;  // a UTC FILETIME
};

struct ChainStatus {
  std::vector<std::string> lines;
  bool fault = false;
};

inline constexpr const char* kServiceName = "Pivotra";
inline constexpr const char* kWmiNamespace = "ROOT\\WMI";
inline constexpr const char* kWmiClass = "ZEB_AcpiEvent_Btn2";
inline constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pivotra";

// One line for each part of the chain. A configuration level the system does not know
// (ERROR_INVALID_LEVEL, as Wine answers for all but the preshutdown timeout;
// ERROR_INVALID_PARAMETER or ERROR_NOT_SUPPORTED) is said, and is no fault; anything else that
// cannot be read is one.
ChainStatus ChainLines(const ChainReadings& readings);

// "2026-12-09 20:21:02 UTC" for a UTC FILETIME.
std::string UtcTime(std::uint64_t fileTime);

}  // namespace turndisplay
