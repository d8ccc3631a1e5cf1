#include "orientation/win32_blocker_watch.h"

#include <array>
#include <atomic>
#include <optional>

#include "common/DebugPrint.h"
#include "orientation/BlockerNotices.h"
#include "common/UniqueHandle.h"
#include "common/WorkerThread.h"
#include "orientation/win32_catch_up.h"
#include "common/win32_stop_signal.h"

namespace {

struct Blocker {
  const char* key;  // under HKEY_LOCAL_MACHINE
  const char* value;
  CatchUpTrigger trigger;
};

// Windows keeps both in the 64-bit view, where the shipped 32-bit service must look for them.
constexpr std::array<Blocker, 2> kBlockers{{
    {"SYSTEM\\CurrentControlSet\\Control\\PriorityControl", "ConvertibleSlateMode",
     CatchUpTrigger::PostureChange},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\AutoRotation", "Enable",
     CatchUpTrigger::RotationLockChange},
}};

struct Watch {
  const Blocker* blocker = nullptr;
  unique_hkey key;
  unique_handle changed;  // auto-reset: set by the registry, taken by the wait
  BlockerNotices notices{std::nullopt, 0};
};

std::atomic<std::uint32_t> g_programStarts{0};

std::optional<DWORD> ReadDword(HKEY key, const char* value) {
  DWORD data = 0;
  DWORD size = sizeof(data);
  // RegGetValueA returns its error; it does not set the last error.
  if (::RegGetValueA(key, nullptr, value, RRF_RT_REG_DWORD, nullptr, &data, &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return data;
}

// A notification covers one change: it is asked for again before the value is read, so that a
// change between the two is not missed.
bool Arm(Watch& watch) {
  return ::RegNotifyChangeKeyValue(watch.key.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                   watch.changed.get(), TRUE) == ERROR_SUCCESS;
}

// A machine without the key (a desktop has no posture) is not watched for it.
std::optional<Watch> Open(const Blocker& blocker) {
  Watch watch;
  watch.blocker = &blocker;
  const LONG error = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, blocker.key, 0,
                                     KEY_NOTIFY | KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                                     watch.key.put());
  if (error != ERROR_SUCCESS) {
    if (error != ERROR_FILE_NOT_FOUND)
      DebugPrint("Not watching %s: error %ld", blocker.value, static_cast<long>(error));
    return std::nullopt;
  }
  watch.changed.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!watch.changed || !Arm(watch)) {
    DebugPrint("Not watching %s: no notification", blocker.value);
    return std::nullopt;
  }
  watch.notices = BlockerNotices(ReadDword(watch.key.get(), blocker.value), ProgramStarts());
  return watch;
}

void WatchBlockers() {
  const HANDLE closing = StoppingEvent();
  if (closing == nullptr) return;
  std::array<Watch, kBlockers.size()> watches;
  std::array<HANDLE, kBlockers.size() + 1> waits{closing};
  DWORD count = 1;
  for (const Blocker& blocker : kBlockers) {
    if (std::optional<Watch> watch = Open(blocker)) {
      watches[count - 1] = std::move(*watch);
      waits[count] = watches[count - 1].changed.get();
      ++count;
    }
  }
  if (count == 1) return;

  for (;;) {
    const DWORD signalled = ::WaitForMultipleObjects(count, waits.data(), FALSE, INFINITE);
    if (signalled <= WAIT_OBJECT_0 || signalled >= WAIT_OBJECT_0 + count) return;
    Watch& watch = watches[signalled - WAIT_OBJECT_0 - 1];
    if (!Arm(watch)) {
      DebugPrint("Not watching %s any more: no notification", watch.blocker->value);
      return;
    }
    // Another value of the key changed, unless a program ran meanwhile (BlockerNotices).
    if (watch.notices.CatchUpAfter(ReadDword(watch.key.get(), watch.blocker->value),
                                   ProgramStarts()))
      CatchUpNow(watch.blocker->trigger);
  }
}

}  // namespace

bool ReadLaptopOrDocked() {
  // SM_SYSTEMDOCKED, which the headers give only for Windows 8 and later; older systems answer 0.
  constexpr int kSystemDocked = 0x2004;
  unique_hkey key;
  const Blocker& posture = kBlockers[0];
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, posture.key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      key.put()) == ERROR_SUCCESS &&
      ReadDword(key.get(), posture.value).value_or(0) != 0)
    return true;
  return ::GetSystemMetrics(kSystemDocked) != 0;
}

void NoteProgramStart() { g_programStarts.fetch_add(1); }

std::uint32_t ProgramStarts() { return g_programStarts.load(); }

void StartBlockerWatch() {
  // The thread object deletes itself; a watch that cannot start leaves the events' decisions
  // and the other catch-ups as they are.
  if (AfxBeginThread(Thread_WatchRotationBlockers, nullptr) == nullptr)
    DebugPrint("Not watching the posture and the rotation lock: no thread");
}

UINT __cdecl Thread_WatchRotationBlockers(LPVOID) {
  WatchBlockers();
  AfxEndThread(0);
}
