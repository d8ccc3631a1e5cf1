#pragma once

#include <cstdint>

#include "common/Bitness.h"
#include "common/ModuleDirectory.h"
#include "orientation/OrientationDecision.h"
#include "orientation/SettingsFile.h"

// The event sink's construction from the settings file. Sink is the event sink, or a test's
// stand-in with the same fields; its counters, pending orientation and reference count start at
// 0 and its m_iniFile was built without a file name.
template <typename Sink>
void LoadSinkSettings(Sink& sink) {
  // The sink's file is the one g_iniFile addresses; its path is set whole, its name left empty.
  sink.m_iniFile.m_path = GetModuleDirectory(true) + settings::kFileName;

  std::uint32_t* const fields[] = {
      &sink.m_portBase,       &sink.m_gSensorDevice,        &sink.m_accessTimeInterval,
      &sink.m_ioCommandDelay, &sink.m_ioActiveCommandDelay, &sink.m_activeRotationCount,
  };
  static_assert(sizeof(fields) / sizeof(fields[0]) == settings::kTuningKeys.size());
  for (std::size_t i = 0; i < settings::kTuningKeys.size(); ++i) {
    const settings::TuningKey& tuning = settings::kTuningKeys[i];
    *fields[i] = tuning.defaultValue;
    // A stored 0 counts as missing: the default goes back into the file.
    const std::uint32_t stored = sink.m_iniFile.GetInt(settings::kSection, tuning.key, 0);
    if (stored != 0) {
      *fields[i] = stored;
    } else {
      sink.m_iniFile.WriteInt(settings::kSection, tuning.key, tuning.defaultValue);
    }
  }

  // An orientation still pending from the last run is kept for the next catch-up; one the screen
  // is taken to show (every start stores Down) or no orientation at all is none.
  const std::uint32_t pending =
      sink.m_iniFile.GetInt(settings::kSection, settings::kPendingOrientation, 0);
  const std::uint32_t shown =
      sink.m_iniFile.GetInt(settings::kSection, settings::kLastOrientation, 0);
  sink.m_pendingOrientation = FindOrientation(pending) != nullptr && pending != shown ? pending : 0;
  if (pending != sink.m_pendingOrientation)
    sink.m_iniFile.WriteInt(settings::kSection, settings::kPendingOrientation, 0);

  sink.m_is64BitWindows = QueryWindowsIs64Bit() ? 1 : 0;
  Sink::Log(sink.m_is64BitWindows ? "Running Windows is 64-bit" : "Running Windows is 32-bit");

  sink.m_driverReady = 1;
}
