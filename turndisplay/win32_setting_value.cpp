#include "turndisplay/win32_setting_value.h"

#include <windows.h>

#include "common/UniqueHandle.h"

namespace turndisplay {

// The shipped programs are 32-bit: on 64-bit Windows, Group Policy writes to the 64-bit view,
// which they see only when they ask for it, while the 32-bit package writes the preferences to
// the 32-bit view, their own. Registry calls return their error.
RegistryRead ReadSettingValueOf(SettingSource source, const char* valueName) {
  const bool policy = source == SettingSource::PolicyKey;
  unique_hkey key;
  const LONG opened =
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, policy ? kPolicyKey : kPreferenceKey, 0,
                      KEY_QUERY_VALUE | (policy ? KEY_WOW64_64KEY : 0), key.put());
  if (opened != ERROR_SUCCESS) return {opened, REG_NONE, 0, 0};
  DWORD data[2] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof(data);
  const LONG read = ::RegQueryValueExA(key.get(), valueName, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &size);
  return {read, type, size, data[0]};
}

AutoRotation ReadAutoRotation() {
  const char* const name = kAutoRotationSetting.valueName;
  return static_cast<AutoRotation>(ReadSetting(kAutoRotationSetting,
                                               ReadSettingValueOf(SettingSource::PolicyKey, name),
                                               ReadSettingValueOf(SettingSource::PreferenceKey, name))
                                       .value);
}

}  // namespace turndisplay
