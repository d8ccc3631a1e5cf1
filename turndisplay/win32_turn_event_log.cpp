// The display-rotation program's entries in the Application event log. The source is the
// service's: its registration names Pivotra.EXE, whose message table gives each ID its text.
#include <windows.h>

#include <vector>

#include "common/UniqueHandle.h"
#include "turndisplay/win32_turn_platform.h"

namespace turndisplay {

static_assert(static_cast<WORD>(EventType::Error) == EVENTLOG_ERROR_TYPE &&
                  static_cast<WORD>(EventType::Warning) == EVENTLOG_WARNING_TYPE &&
                  static_cast<WORD>(EventType::Information) == EVENTLOG_INFORMATION_TYPE,
              "the entries' types");

namespace {

void WriteEntry(EventType type, DWORD id, const char** strings, WORD count) noexcept {
  // Where the source cannot be opened, the line on stderr and the debugger stream stays.
  const unique_event_source source(::RegisterEventSourceA(nullptr, kEventSource));
  if (!source) return;
  ::ReportEventA(source.get(), static_cast<WORD>(type), 0, id, nullptr, count, 0, strings,
                 nullptr);
}

}  // namespace

void Win32TurnPlatform::Log(const EventEntry& entry) {
  std::vector<const char*> strings;
  for (const std::string& text : entry.strings) strings.push_back(text.c_str());
  WriteEntry(entry.type, entry.id, strings.empty() ? nullptr : strings.data(),
         static_cast<WORD>(strings.size()));
}

void LogOutOfMemory() noexcept { WriteEntry(EventType::Error, kOutOfMemoryEvent, nullptr, 0); }

}  // namespace turndisplay
