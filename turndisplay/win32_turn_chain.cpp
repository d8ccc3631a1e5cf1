// What "status" reads of the chain beside the display: the service's registration, the
// service's status record and its event source. Everything asks only for what a standard user
// may read: SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS, KEY_QUERY_VALUE.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/StatusRecord.h"
#include "common/UniqueHandle.h"
#include "turndisplay/win32_turn_platform.h"

namespace turndisplay {

namespace {

// The service control manager's structures hold pointers into the buffer: it is aligned for them.
using ConfigBuffer = std::vector<std::uint64_t>;

// One query into a buffer that fits. Windows documents 8 KiB as the most a configuration takes;
// a larger one says how much it needs.
template <typename Query>
DWORD QueryInto(ConfigBuffer& buffer, Query query) {
  buffer.assign(8192 / sizeof(std::uint64_t), 0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD needed = 0;
    if (query(reinterpret_cast<BYTE*>(buffer.data()),
              static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t)), &needed))
      return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) return error;
    buffer.assign(needed / sizeof(std::uint64_t) + 1, 0);
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

template <typename Info>
const Info& As(const ConfigBuffer& buffer) {
  return *reinterpret_cast<const Info*>(buffer.data());
}

DWORD QueryConfig2(SC_HANDLE service, DWORD level, ConfigBuffer& buffer) {
  return QueryInto(buffer, [service, level](BYTE* data, DWORD size, DWORD* needed) {
    return ::QueryServiceConfig2A(service, level, data, size, needed);
  });
}

// A fixed-size value of a configuration level.
template <typename Info, typename Field>
Reading<std::uint32_t> Config2Value(SC_HANDLE service, DWORD level, ConfigBuffer& buffer,
                                    Field field) {
  Reading<std::uint32_t> reading;
  reading.error = QueryConfig2(service, level, buffer);
  if (reading.error == ERROR_SUCCESS)
    reading.value = static_cast<std::uint32_t>(As<Info>(buffer).*field);
  return reading;
}

void ReadConfiguration(SC_HANDLE service, ServiceReading& reading) {
  ConfigBuffer buffer;
  reading.startType.error = QueryInto(buffer, [service](BYTE* data, DWORD size, DWORD* needed) {
    return ::QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(data), size,
                                 needed);
  });
  if (reading.startType.error == ERROR_SUCCESS)
    reading.startType.value = As<QUERY_SERVICE_CONFIGA>(buffer).dwStartType;

  reading.failureActions.error = QueryConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer);
  if (reading.failureActions.error == ERROR_SUCCESS) {
    const auto& failure = As<SERVICE_FAILURE_ACTIONSA>(buffer);
    reading.failureActions.value.resetPeriod = failure.dwResetPeriod;
    for (DWORD i = 0; failure.lpsaActions != nullptr && i < failure.cActions; ++i)
      reading.failureActions.value.actions.push_back(
          {static_cast<std::uint32_t>(failure.lpsaActions[i].Type), failure.lpsaActions[i].Delay});
  }
  reading.failureActionsFlag = Config2Value<SERVICE_FAILURE_ACTIONS_FLAG>(
      service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, buffer,
      &SERVICE_FAILURE_ACTIONS_FLAG::fFailureActionsOnNonCrashFailures);
  reading.preshutdownTimeout =
      Config2Value<SERVICE_PRESHUTDOWN_INFO>(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, buffer,
                                             &SERVICE_PRESHUTDOWN_INFO::dwPreshutdownTimeout);
  reading.sidType = Config2Value<SERVICE_SID_INFO>(service, SERVICE_CONFIG_SERVICE_SID_INFO, buffer,
                                                   &SERVICE_SID_INFO::dwServiceSidType);

  reading.privileges.error = QueryConfig2(service, SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, buffer);
  if (reading.privileges.error == ERROR_SUCCESS) {
    // A list of names, each ending in a zero, and one more zero; none at all when empty.
    const char* name = As<SERVICE_REQUIRED_PRIVILEGES_INFOA>(buffer).pmszRequiredPrivileges;
    for (; name != nullptr && *name != '\0'; name += std::string(name).size() + 1)
      reading.privileges.value.push_back(name);
  }
}

// A value of a fixed size and type (REG_DWORD, REG_QWORD); none when it is missing or another.
template <typename Value, DWORD kType>
std::optional<Value> FixedValue(HKEY key, const char* name) {
  Value data = 0;
  DWORD type = REG_NONE;
  DWORD size = sizeof(data);
  if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
          ERROR_SUCCESS ||
      type != kType || size != sizeof(data))
    return std::nullopt;
  return data;
}

std::optional<std::uint32_t> DwordValue(HKEY key, const char* name) {
  return FixedValue<DWORD, REG_DWORD>(key, name);
}

std::optional<std::uint64_t> QwordValue(HKEY key, const char* name) {
  return FixedValue<ULONGLONG, REG_QWORD>(key, name);
}

// A text value, its variables expanded when it is a REG_EXPAND_SZ. Registry calls return their
// error; a stored text need not end in a zero, so one is added.
Reading<std::string> StringValue(HKEY key, const char* name) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG error = ::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  if (error != ERROR_SUCCESS) return {static_cast<std::uint32_t>(error), {}};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {ERROR_DATATYPE_MISMATCH, {}};
  std::vector<char> data(size + 1, '\0');
  error =
      ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  if (error != ERROR_SUCCESS) return {static_cast<std::uint32_t>(error), {}};
  if (type != REG_EXPAND_SZ) return {ERROR_SUCCESS, data.data()};
  const DWORD expanded = ::ExpandEnvironmentStringsA(data.data(), nullptr, 0);
  std::vector<char> text(expanded + 1, '\0');
  if (expanded == 0 || ::ExpandEnvironmentStringsA(data.data(), text.data(), expanded) == 0)
    return {::GetLastError(), {}};
  return {ERROR_SUCCESS, text.data()};
}

}  // namespace

ServiceReading Win32TurnPlatform::ReadServiceRegistration() {
  ServiceReading reading;
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const unique_schandle service(
      manager
          ? ::OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS)
          : nullptr);
  if (!service) {
    reading.openError = ::GetLastError();
    return reading;
  }
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof(status), &needed))
    reading.state.value = status.dwCurrentState;
  else
    reading.state.error = ::GetLastError();
  ReadConfiguration(service.get(), reading);
  return reading;
}

// The key lies below HKLM\SYSTEM, which the registry does not redirect for 32-bit programs.
RecordReading Win32TurnPlatform::ReadStatusRecord() {
  RecordReading reading;
  unique_hkey key;
  reading.error = static_cast<std::uint32_t>(
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, status_record::kKey, 0, KEY_QUERY_VALUE, key.put()));
  if (reading.error != ERROR_SUCCESS) return reading;
  reading.subscription = DwordValue(key.get(), status_record::kSubscription);
  const Reading<std::string> detail = StringValue(key.get(), status_record::kSubscriptionDetail);
  reading.subscriptionDetail = detail.value;
  reading.subscriptionTime = QwordValue(key.get(), status_record::kSubscriptionTime);
  reading.program = DwordValue(key.get(), status_record::kProgram);
  reading.programCode = DwordValue(key.get(), status_record::kProgramCode);
  reading.programAngle = DwordValue(key.get(), status_record::kProgramAngle);
  reading.programTime = QwordValue(key.get(), status_record::kProgramTime);
  return reading;
}

EventSourceReading Win32TurnPlatform::ReadEventSource() {
  EventSourceReading reading;
  unique_hkey key;
  reading.error = static_cast<std::uint32_t>(
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_QUERY_VALUE, key.put()));
  if (reading.error != ERROR_SUCCESS) return reading;
  reading.messageFile = StringValue(key.get(), "EventMessageFile");
  if (reading.messageFile.error == ERROR_SUCCESS) {
    const DWORD attributes = ::GetFileAttributesA(reading.messageFile.value.c_str());
    reading.messageFileExists =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  const std::optional<std::uint32_t> types = DwordValue(key.get(), "TypesSupported");
  reading.typesSupported = types ? Reading<std::uint32_t>{ERROR_SUCCESS, *types}
                                 : Reading<std::uint32_t>{ERROR_FILE_NOT_FOUND, 0};
  return reading;
}

std::uint64_t Win32TurnPlatform::Now() {
  FILETIME now = {};
  ::GetSystemTimeAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace turndisplay
