#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/DebugPrint.h"
#include "common/OrientationTypes.h"
#include "orientation/IniFile.h"
#include "orientation/OrientationDecision.h"
#include "orientation/ProgramOutcome.h"

// A stand-in for the event sink with the fields of its settings block, for the native tests of
// the settings load and the orientation worker. Its rotation requests are recorded; a test may
// hook into them, or into its log lines, to hold a worker at that point.
struct FakeSink {
  PIVOTRA_PRINTF(1, 2) static void Log(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const std::string text = FormatStringV(format, args);
    va_end(args);
    WriteDebugString(text.c_str());
    if (onLog) onLog(text);
  }
  static inline std::function<void(const std::string&)> onLog;

  // Each request is recorded and gets the outcome a test chose: turned, by default.
  std::optional<ProgramOutcome> RotateAndAwait(RotationKind kind) {
    requested.push_back(kind);
    if (onRotation) onRotation(kind);
    return outcome;
  }

  // The posture a test chose; a hook may change it as it is read.
  Posture ScreenPosture() {
    if (onPosture) onPosture();
    return posture;
  }

  std::uint32_t m_is64BitWindows = 0;
  std::uint32_t m_driverReady = 0;
  CIniFile m_iniFile;
  std::uint32_t m_portBase = 0;
  std::uint32_t m_gSensorDevice = 0;
  std::uint32_t m_accessTimeInterval = 0;
  std::uint32_t m_ioCommandDelay = 0;
  std::uint32_t m_ioActiveCommandDelay = 0;
  std::uint32_t m_activeRotationCount = 0;
  std::uint32_t m_countDown = 0;
  std::uint32_t m_countUp = 0;
  std::uint32_t m_countRight = 0;
  std::uint32_t m_countLeft = 0;
  std::uint32_t m_pendingOrientation = 0;

  std::vector<RotationKind> requested;
  std::function<void(RotationKind)> onRotation;
  Posture posture;
  std::function<void()> onPosture;
  ProgramOutcome outcome{ProgramOutcome::Kind::Ended, 0};
};
