#include "common/win32_status_record.h"

#include <windows.h>

#include "common/UniqueHandle.h"

namespace {

// Registry calls return their error; they do not set the last error.
LONG OpenRecord(unique_hkey& key) {
  return ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, status_record::kKey, 0, nullptr, 0, KEY_SET_VALUE,
                           nullptr, key.put(), nullptr);
}

LONG SetDword(HKEY key, const char* name, std::uint32_t value) {
  const DWORD data = value;
  return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof(data));
}

LONG SetNow(HKEY key, const char* name) {
  FILETIME now = {};
  ::GetSystemTimeAsFileTime(&now);
  const ULONGLONG value = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ::RegSetValueExA(key, name, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

}  // namespace

long RecordSubscription(status_record::SubscriptionState state, const std::string& detail) {
  unique_hkey key;
  LONG error = OpenRecord(key);
  if (error != ERROR_SUCCESS) return error;
  error = SetDword(key.get(), status_record::kSubscription, static_cast<std::uint32_t>(state));
  if (error == ERROR_SUCCESS)
    error = ::RegSetValueExA(key.get(), status_record::kSubscriptionDetail, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(detail.c_str()),
                             static_cast<DWORD>(detail.size() + 1));
  if (error == ERROR_SUCCESS) error = SetNow(key.get(), status_record::kSubscriptionTime);
  return error;
}

long RecordProgramRun(status_record::ProgramRun run, std::uint32_t code, std::uint32_t angle) {
  unique_hkey key;
  LONG error = OpenRecord(key);
  if (error != ERROR_SUCCESS) return error;
  error = SetDword(key.get(), status_record::kProgram, static_cast<std::uint32_t>(run));
  if (error == ERROR_SUCCESS) error = SetDword(key.get(), status_record::kProgramCode, code);
  if (error == ERROR_SUCCESS) error = SetDword(key.get(), status_record::kProgramAngle, angle);
  if (error == ERROR_SUCCESS) error = SetNow(key.get(), status_record::kProgramTime);
  return error;
}

long ForgetStatusRecord() {
  const LONG error = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, status_record::kKey);
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}
