// pivotra-soak-probe: samples a running service's process from inside Wine, for the soak
// benchmark. One line per sample, until the stop file exists or the process has ended:
//   <milliseconds since the first sample> <threads> <handles> <working set KiB> <private KiB>
// Handles are counted in the system's handle table: Wine's GetProcessHandleCount gives 0.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>

#include "common/UniqueHandle.h"
#include "tests/support/HandleCount.h"

namespace {

DWORD ServiceProcessId(const char* name) {
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  const unique_schandle service(::OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof(status), &needed))
    return 0;
  return status.dwProcessId;
}

unsigned long ThreadsOf(DWORD processId) {
  const unique_file_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  unsigned long count = 0;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
       more = ::Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == processId) ++count;
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: pivotra-soak-probe SERVICE INTERVAL_MS STOP_FILE\n");
    return 2;
  }
  const DWORD processId = ServiceProcessId(argv[1]);
  const DWORD interval = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
  const unique_handle process(::OpenProcess(
      PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, processId));
  if (processId == 0 || !process) {
    std::fprintf(stderr, "pivotra-soak-probe: %s is not running\n", argv[1]);
    return 1;
  }
  const ULONGLONG start = ::GetTickCount64();
  while (::GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(process.get(), &memory, sizeof(memory));
    // PagefileUsage is the private commitment; Wine leaves PrivateUsage at 0.
    std::printf("%llu %lu %lu %llu %llu\n", ::GetTickCount64() - start, ThreadsOf(processId),
                CountProcessHandles(processId).value_or(0),
                static_cast<unsigned long long>(memory.WorkingSetSize / 1024),
                static_cast<unsigned long long>(memory.PagefileUsage / 1024));
    std::fflush(stdout);
    if (::WaitForSingleObject(process.get(), interval) == WAIT_OBJECT_0) break;
  }
  return 0;
}
