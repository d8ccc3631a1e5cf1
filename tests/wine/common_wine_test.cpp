#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "common/Bitness.h"
#include "common/DebugPrint.h"
#include "common/ModuleDirectory.h"
#include "common/WorkerThread.h"
#include "tests/support/DebugMonitor.h"
#include "tests/support/HandleCount.h"

namespace {

UINT __cdecl EndsWithItsParameter(LPVOID parameter) {
  AfxEndThread(static_cast<UINT>(reinterpret_cast<UINT_PTR>(parameter)));
}

UINT __cdecl ReturnsSeven(LPVOID) { return 7; }

UINT RunToEnd(AFX_THREADPROC routine, LPVOID parameter) {
  CWinThread* thread = AfxBeginThread(routine, parameter, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  EXPECT_NE(thread, nullptr);
  if (thread == nullptr) return 0xFFFFFFFF;
  thread->m_bAutoDelete = FALSE;  // keep the object to read the exit code
  ::ResumeThread(thread->m_hThread);
  EXPECT_EQ(::WaitForSingleObject(thread->m_hThread, 10000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  ::GetExitCodeThread(thread->m_hThread, &exitCode);
  delete thread;
  return exitCode;
}

TEST(WorkerThread, EndsWithTheGivenCode) {
  EXPECT_EQ(RunToEnd(EndsWithItsParameter, reinterpret_cast<LPVOID>(42)), 42u);
  EXPECT_EQ(RunToEnd(ReturnsSeven, nullptr), 7u);
}

HANDLE g_started = nullptr;

UINT __cdecl SignalsStart(LPVOID) {
  ::SetEvent(g_started);
  AfxEndThread(0);
}

TEST(WorkerThread, SelfDeletingThreadsLeaveNoHandle) {
  g_started = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  // One round first, so that whatever the runtime opens once is already open.
  ASSERT_NE(AfxBeginThread(SignalsStart, nullptr), nullptr);
  ASSERT_EQ(::WaitForSingleObject(g_started, 10000), WAIT_OBJECT_0);
  ::Sleep(200);
  const auto before = CountProcessHandles(::GetCurrentProcessId());
  ASSERT_TRUE(before);
  for (int i = 0; i < 50; ++i) {
    ASSERT_NE(AfxBeginThread(SignalsStart, nullptr), nullptr);
    ASSERT_EQ(::WaitForSingleObject(g_started, 10000), WAIT_OBJECT_0);
  }
  std::optional<unsigned long> after;
  for (int tries = 0; tries < 50; ++tries) {  // the last threads may still be ending
    ::Sleep(100);
    after = CountProcessHandles(::GetCurrentProcessId());
    if (after && *after <= *before) break;
  }
  ASSERT_TRUE(after);
  EXPECT_LE(*after, *before);
  ::CloseHandle(g_started);
}

TEST(ModuleDirectory, IsTheDirectoryOfThisProgram) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string full(path);
  EXPECT_EQ(GetModuleDirectory(true), full.substr(0, full.find_last_of('\\') + 1));
  EXPECT_EQ(GetModuleDirectory(false), full.substr(0, full.find_last_of('\\')));
  EXPECT_EQ(GetModuleDirectory(true).substr(GetModuleDirectory(true).size() - 7), "\\tests\\");
}

bool ShiftJisLeadByte(unsigned char byte) { return ::IsDBCSLeadByteEx(932, byte) != FALSE; }

TEST(ModuleDirectory, TrailByteOfShiftJisIsNoBackslash) {
  // U+8868 is 0x95 0x5C in code page 932, by the platform's own table.
  ASSERT_TRUE(ShiftJisLeadByte(0x95));
  EXPECT_EQ(CutAtLastBackslash("C:\\dir\\\x95\x5C.exe", true, ShiftJisLeadByte), "C:\\dir\\");
  EXPECT_EQ(CutAtLastBackslash("C:\\\x95\x5C\\svc.exe", true, ShiftJisLeadByte), "C:\\\x95\x5C\\");
}

// Wine is 64-bit Windows. The 32-bit build runs under WOW64; the 64-bit build does not, which
// is why the WOW64 question alone would answer 32-bit there.
TEST(Bitness, EitherBuildFindsSixtyFourBitWindows) {
  BOOL wow64 = sizeof(void*) == 4 ? FALSE : TRUE;  // wrong unless the call answers
  ASSERT_TRUE(::IsWow64Process(::GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, sizeof(void*) == 4);
  EXPECT_TRUE(QueryWindowsIs64Bit());
}

TEST(DebugPrint, ReachesTheDebuggerStreamUnchanged) {
  DebugMonitor monitor;
  ASSERT_TRUE(monitor.listening());
  DebugPrint("Call complete. hResult = 0x%X", 0u);
  DebugPrint("%s %lu\n", "line", 4294967295ul);
  ASSERT_TRUE(monitor.WaitFor("4294967295", std::chrono::seconds(10)));
  EXPECT_EQ(monitor.Texts(), (std::vector<std::string>{"Call complete. hResult = 0x0",
                                                        "line 4294967295\n"}));
}

}  // namespace
