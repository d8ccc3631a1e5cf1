// The orientation core on the real platform: the profile routines, the worker's thread, and
// the display-rotation program started as the console user (the recording stand-in, which
// lies beside the test programs as TurnDisplay.exe).
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <iostream>
#include <string>
#include <vector>

#include "common/EventData.h"
#include "common/ModuleDirectory.h"
#include "common/WorkerThread.h"
#include "events/EventSink.h"
#include "orientation/OrientationWorker.h"
#include "orientation/RotationLauncher.h"
#include "orientation/SettingsFile.h"
#include "orientation/win32_orientation_worker.h"
#include "orientation/win32_user_sessions.h"
#include "tests/support/DebugMonitor.h"
#include "tests/support/HandleCount.h"
#include "tests/support/SettingsTexts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TurnDisplayRecord.h"

namespace {

bool CopyProgram(const std::string& to) {
  return ::CopyFileA((GetModuleDirectory(true) + launcher::kProgramName).c_str(), to.c_str(),
                     FALSE) != FALSE;
}

// Runs routine on a thread with a worker's stack and waits for it to end.
void RunWorkerThread(LPVOID parameter, AFX_THREADPROC routine = Thread_WMIEvent_G_SensorCtrlEntry) {
  CWinThread* thread =
      AfxBeginThread(routine, parameter, THREAD_PRIORITY_NORMAL, kWorkerStackReservation,
                     CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION);
  ASSERT_NE(thread, nullptr);
  thread->m_bAutoDelete = FALSE;
  ::ResumeThread(thread->m_hThread);
  ASSERT_EQ(::WaitForSingleObject(thread->m_hThread, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeThread(thread->m_hThread, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  delete thread;
}

class BesideTheProgram : public testing::Test {
 protected:
  void SetUp() override {
    ::DeleteFileA(SettingsPath().c_str());
    ::DeleteFileA((GetModuleDirectory(true) + "TurnDisplay.record").c_str());
    IoPortBusy.store(0);
  }
  static std::string SettingsPath() { return GetModuleDirectory(true) + settings::kFileName; }

  // A sink as the first start leaves it, with a Left event waiting for its worker.
  static EventSink* SinkWithALeftAfterTheFirstStart() {
    g_iniFile.WriteInt(settings::kSection, settings::kLastOrientation, 2);
    auto* sink = new EventSink;
    sink->AddRef();
    EventDataByte.store(0x06);
    return sink;
  }
};

TEST_F(BesideTheProgram, FirstStartWritesOrientationThenTheDefaults) {
  EXPECT_EQ(g_iniFile.m_path, SettingsPath());
  g_iniFile.WriteInt(settings::kSection, settings::kLastOrientation, 2);
  auto* sink = new EventSink;
  EXPECT_EQ(sink->AddRef(), 1u);
  EXPECT_EQ(sink->m_driverReady, 1u);
  EXPECT_EQ(sink->m_is64BitWindows, 1u);  // both builds run on 64-bit Windows here
  EXPECT_EQ(sink->m_iniFile.m_path, SettingsPath());
  EXPECT_EQ(ReadFileBytes(SettingsPath()),
            kSettingsAfterFirstStart);
  EXPECT_EQ(sink->Release(), 0u);
}

TEST_F(BesideTheProgram, LeftAfterFirstStartLeavesTheDocumentedFile) {
  DebugMonitor monitor;
  EventSink* const sink = SinkWithALeftAfterTheFirstStart();
  RunWorkerThread(sink);

  EXPECT_EQ(ReadFileBytes(SettingsPath()),
            kSettingsAfterLeft);
  const auto starts = WaitForStarts(GetModuleDirectory(true), 1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].commandLine, "\"" + GetModuleDirectory(true) + "TurnDisplay.exe\" 90");
  EXPECT_EQ(starts[0].argument, "90");
  EXPECT_EQ(IoPortBusy.load(), 0);

  ASSERT_TRUE(monitor.listening());
  {
    EXPECT_EQ(monitor.Texts(),
              (std::vector<std::string>{
                  "Running Windows is 64-bit",  // for the 32-bit build too, under WOW64
                  "Thread_WMIEvent_G_SensorCtrlEntry: Start to access Event...", "Left",
                  "set to be DMDO_90", "Thread_WMIEvent_G_SensorCtrlEntry: Thread terminated"}));
  }
  sink->Release();
}

// How deep a decision goes into its worker's stack: the stack below the probe is painted, a
// whole decision runs (a launch, the settings writes, a debugger-output monitor listening), and
// the lowest byte no longer painted marks the depth. Wine commits every stack whole, so what
// is committed says nothing there.
constexpr unsigned char kPaint = 0xA5;
constexpr std::size_t kUnpainted = 16 * 1024;  // kept clear of the guard page

struct StackProbe {
  EventSink* sink;
  std::size_t used = 0;
};

__attribute__((noinline)) void PaintStackDownTo(volatile unsigned char* floor) {
  volatile unsigned char here = 0;
  for (volatile unsigned char* byte = &here - 256; byte >= floor; --byte) *byte = kPaint;
}

UINT __cdecl MeasureDecision(LPVOID parameter) {
  auto* const probe = static_cast<StackProbe*>(parameter);
  // The stack's committed part is the one region that holds this frame and ends at its top.
  MEMORY_BASIC_INFORMATION stack = {};
  ::VirtualQuery(&stack, &stack, sizeof(stack));
  auto* const floor = static_cast<volatile unsigned char*>(stack.AllocationBase) + kUnpainted;
  auto* const top = static_cast<volatile unsigned char*>(stack.BaseAddress) + stack.RegionSize;
  PaintStackDownTo(floor);
  RunOrientationWorker(probe->sink);
  volatile unsigned char* lowest = floor;
  while (lowest < top && *lowest == kPaint) ++lowest;
  probe->used = static_cast<std::size_t>(top - lowest);
  return 0;
}

TEST_F(BesideTheProgram, ADecisionUsesAFractionOfTheWorkersStack) {
  DebugMonitor monitor;
  EventSink* const sink = SinkWithALeftAfterTheFirstStart();
  StackProbe probe{sink};
  RunWorkerThread(&probe, MeasureDecision);
  EXPECT_EQ(WaitForStarts(GetModuleDirectory(true), 1).size(), 1u);
  EXPECT_EQ(ReadFileBytes(SettingsPath()), kSettingsAfterLeft);
  std::cout << "a decision used " << probe.used << " bytes of a worker's stack of "
            << kWorkerStackReservation << "\n";
  EXPECT_GT(probe.used, 0u);
  EXPECT_LE(probe.used * 4, kWorkerStackReservation);  // the margin
  sink->Release();
}

TEST_F(BesideTheProgram, SinkLaunchOperationsGiveTheirCodes) {
  auto* sink = new EventSink;
  sink->AddRef();
  char none[] = "-";
  char missing[] = "\"C:\\no such directory\\TurnDisplay.exe\" 90";
  EXPECT_EQ(sink->CreateProcessToUserSession(1, "-", none), launcher::kNothingToLaunch);
  EXPECT_EQ(sink->CreateProcessToUserSession(0, "-", missing), launcher::kNoConsoleSession);
  EXPECT_EQ(sink->CreateProcessToUserSession(1, "-", missing), launcher::kProcessNotCreated);
  EXPECT_EQ(sink->RequestRotation(4), 0);
  EXPECT_EQ(sink->RequestRotation(DMDO_180), 1);
  const auto starts = WaitForStarts(GetModuleDirectory(true), 1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].argument, "180");
  sink->Release();
}

TEST(RotationLauncher, DirectoryWithBlanksStartsTheRightProgram) {
  TempDir root;
  // With the path unquoted, process creation would try "...\Program.exe" first.
  ASSERT_TRUE(CopyProgram(root.File("Program.exe")));
  const std::string directory = root.File("Program Files\\Pivotra\\");
  ASSERT_TRUE(::CreateDirectoryA(root.File("Program Files").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr));
  ASSERT_TRUE(CopyProgram(directory + launcher::kProgramName));

  Win32UserSessions sessions;
  EXPECT_EQ(launcher::RequestRotationIn(sessions, directory, DMDO_270), 1);

  const auto starts = WaitForStarts(directory, 1);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].commandLine, "\"" + directory + "TurnDisplay.exe\" 270");
  EXPECT_EQ(starts[0].argumentCount, "2");
  EXPECT_EQ(starts[0].argument, "270");
  EXPECT_FALSE(FileExists(root.File("TurnDisplay.record"))) << "Program.exe was started";
}

TEST(RotationLauncher, LaunchesLeaveNoHandleOpen) {
  TempDir directory;
  ASSERT_TRUE(CopyProgram(directory.File(launcher::kProgramName)));
  Win32UserSessions sessions;
  // The first launch loads and opens what the platform keeps for later ones.
  launcher::RequestRotationIn(sessions, directory.Path(), DMDO_DEFAULT);
  ASSERT_EQ(WaitForStarts(directory.Path(), 1).size(), 1u);

  const auto before = CountProcessHandles(::GetCurrentProcessId());
  ASSERT_TRUE(before);
  constexpr std::size_t kLaunches = 40;
  for (std::size_t i = 0; i < kLaunches; ++i)
    EXPECT_EQ(launcher::RequestRotationIn(sessions, directory.Path(), DMDO_90), 1);
  ASSERT_EQ(WaitForStarts(directory.Path(), kLaunches + 1).size(), kLaunches + 1);
  EXPECT_EQ(CountProcessHandles(::GetCurrentProcessId()), before);
}

// What Wine answers for the console session, and the start with the service's own token on the
// secure desktop, which Windows uses for the sign-in and lock screens.
TEST(RotationLauncher, TheServicesOwnTokenStartsTheProgramOnTheSecureDesktop) {
  TempDir directory;
  ASSERT_TRUE(CopyProgram(directory.File(launcher::kProgramName)));
  Win32UserSessions sessions;
  const std::uint32_t console = sessions.ActiveConsoleSessionId();
  EXPECT_TRUE(sessions.QueryUserToken(console));
  EXPECT_EQ(sessions.SessionLocked(console), std::nullopt);
  EXPECT_FALSE(sessions.SessionRemote(console));

  const unique_handle token = sessions.ServiceToken(console);
  ASSERT_TRUE(token) << sessions.LastError();
  std::string command =
      launcher::BuildRotationCommandLine(directory.Path(), *launcher::FindRotation(DMDO_90));
  const auto process = sessions.CreateProcessAsUser(token, nullptr, command.data(),
                                                    launcher::kCreationFlags,
                                                    launcher::kSecureDesktop);
  ASSERT_TRUE(process) << sessions.LastError();
  const launcher::ProgramWait waited = sessions.AwaitExit(process, std::chrono::seconds(30));
  EXPECT_EQ(waited.end, launcher::WaitEnd::Exited);
  EXPECT_EQ(waited.exitCode, 0u);
  EXPECT_EQ(WaitForStarts(directory.Path(), 1).size(), 1u);
}

TEST(RotationLauncher, MissingProgramIsReportedAndStillCounts) {
  TempDir empty;
  DebugMonitor monitor;
  Win32UserSessions sessions;
  // The Win32 error goes with the outcome, for the event log.
  EXPECT_EQ(launcher::RotateIn(sessions, empty.Path(), DMDO_90, launcher::kProgramWait),
            (ProgramOutcome{ProgramOutcome::Kind::NotStarted, 0, launcher::kProcessNotCreated,
                            ERROR_FILE_NOT_FOUND}));
  EXPECT_EQ(launcher::LaunchInUserSession(sessions, 1, "-",
                                          launcher::BuildRotationCommandLine(
                                              empty.Path(), *launcher::FindRotation(DMDO_90))
                                              .data()),
            launcher::kProcessNotCreated);
  ASSERT_TRUE(monitor.listening());
  {
    ASSERT_TRUE(monitor.WaitFor("CreateProcessToUserSession failed", std::chrono::seconds(5)));
    EXPECT_EQ(monitor.Texts(), (std::vector<std::string>{"set to be DMDO_90",
                                                          "CreateProcessToUserSession failed"}));
  }
}

}  // namespace
