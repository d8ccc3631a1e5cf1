#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <cstdarg>
#include <cstdint>
#include <optional>

#include "common/DebugPrint.h"
#include "common/OrientationTypes.h"
#include "orientation/IniFile.h"
#include "orientation/OrientationDecision.h"
#include "orientation/ProgramOutcome.h"

// The COM object that receives the firmware's orientation events from WMI, and the holder of
// the orientation control's state: the settings file, the settings read from it and the
// per-orientation counters. It lives by its reference count and is made only with new.
class EventSink final : public IWbemObjectSink {
 public:
  // Loads the settings, writing back the default of every tuning key that reads as 0.
  EventSink();
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // objects belong to the caller. Always WBEM_S_NO_ERROR.
  HRESULT STDMETHODCALLTYPE Indicate(LONG objectCount, IWbemClassObject** objects) override;
  HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR text,
                                      IWbemClassObject* object) override;

  // The same as DebugPrint; it uses nothing of a sink.
  static void Log(const char* format, ...) PIVOTRA_PRINTF(1, 2);

  // Starts the display program for a kind and waits, bounded, for what it did; none for a kind
  // outside 0 to 3.
  std::optional<ProgramOutcome> RotateAndAwait(RotationKind kind);
  // The posture as the catch-ups judge it: laptop or docked, and whether the screen then keeps
  // the native landscape.
  Posture ScreenPosture();
  // The rotation launcher: 1 for kinds 0 to 3, whether or not the program started; else 0.
  std::int32_t RequestRotation(RotationKind kind);
  // "-" for no text; one of the launcher's result codes.
  std::int32_t CreateProcessToUserSession(std::uint32_t sessionId, const char* applicationName,
                                          char* commandLine);

  // Read by the orientation worker, which holds IoPortBusy while it touches the settings
  // block; nothing else changes these after construction.
  LONG m_refCount;
  std::uint32_t m_is64BitWindows;
  std::uint32_t m_driverReady;  // 1 once construction is complete
  CIniFile m_iniFile;
  std::uint32_t m_portBase;
  std::uint32_t m_gSensorDevice;
  std::uint32_t m_accessTimeInterval;
  std::uint32_t m_ioCommandDelay;
  std::uint32_t m_ioActiveCommandDelay;
  std::uint32_t m_activeRotationCount;
  std::uint32_t m_countDown;
  std::uint32_t m_countUp;
  std::uint32_t m_countRight;
  std::uint32_t m_countLeft;
  // The OrientationCode a decision asked for that the screen does not show yet; 0 for none.
  std::uint32_t m_pendingOrientation;

 private:
  // Only Release destroys a sink; no virtual destructor, as COM objects go.
  ~EventSink() = default;
};

inline void EventSink::Log(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  DebugPrintV(format, args);
  va_end(args);
}
