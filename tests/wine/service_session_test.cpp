// Pivotra.EXE against Wine's own service control manager, registry and event log, each case
// in a fresh session: what each switch leaves behind, the start and stop by the service
// control manager, and the installer's message boxes.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/UniqueHandle.h"
#include "service/win32_service_description.h"
#include "tests/support/Eventually.h"
#include "tests/support/RegistrationKeys.h"
#include "tests/support/PivotraReports.h"
#include "tests/support/ServiceSession.h"
#include "tests/support/TempDir.h"

namespace {

using namespace session;
using Texts = std::vector<std::string>;

constexpr const char* kService = "Pivotra";
constexpr const char* kDirectory = "C:\\Program Files\\Pivotra";
constexpr const char* kProgram = "C:\\Program Files\\Pivotra\\Pivotra.EXE";
constexpr const char* kAppId = "{5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}";
constexpr const char* kTypeLibVersionKey = "TypeLib\\{8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}\\1.0";
// The type library names the platform of its build.
constexpr const char* kTypeLibFileKey =
    sizeof(void*) == 8 ? "TypeLib\\{8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}\\1.0\\409\\win64"
                       : "TypeLib\\{8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}\\1.0\\409\\win32";

const Texts kRegisterLines{"CServiceModule::RegisterServer...",
                           "Exit from CServiceModule::RegisterServer"};
const Texts kReregisterLines{"CServiceModule::RegisterServer...",
                             "Stopping Pivotra Control Service code...", "Ferrox stopped",
                             "Exit from CServiceModule::RegisterServer"};
// A service installation's lines, alone and over an installed service, which is stopped first:
// Wine refuses three of the settings beside the configuration, and the installation goes on.
const Texts kServiceLines{"CServiceModule::RegisterServer...",
                          "Fail to change service failure actions flag, error 87",
                          "Fail to change service SID type, error 87",
                          "Fail to change service required privileges, error 87",
                          "Exit from CServiceModule::RegisterServer"};
const Texts kReserviceLines{"CServiceModule::RegisterServer...",
                            "Stopping Pivotra Control Service code...", "Ferrox stopped",
                            kServiceLines[1], kServiceLines[2], kServiceLines[3],
                            "Exit from CServiceModule::RegisterServer"};


// One row of the registration states: what a switch leaves, whatever came before.
struct Registration {
  bool service = false;
  std::string appIdEntries;  // "present", "absent", or what is odd about them
  std::optional<std::string> localService;
  std::optional<std::string> serviceParameters;
  bool typeLibrary = false;
  std::string eventSource;  // "present", "absent", or what is odd about it

  bool operator==(const Registration& other) const {
    return service == other.service && appIdEntries == other.appIdEntries &&
           localService == other.localService && serviceParameters == other.serviceParameters &&
           typeLibrary == other.typeLibrary && eventSource == other.eventSource;
  }
};

void PrintTo(const Registration& r, std::ostream* out) {
  *out << "{service " << (r.service ? "installed" : "none") << ", AppID entries " << r.appIdEntries
       << ", LocalService " << r.localService.value_or("(absent)") << ", ServiceParameters "
       << r.serviceParameters.value_or("(absent)") << ", type library "
       << (r.typeLibrary ? "registered" : "none") << ", event source " << r.eventSource << "}";
}

std::string AppIdEntries() {
  const bool appId = KeyExists(HKEY_CLASSES_ROOT, kAppIdKey);
  const bool exe = KeyExists(HKEY_CLASSES_ROOT, kExeKey);
  if (!appId && !exe) return "absent";
  if (!appId || !exe) return "partial";
  if (ReadString(HKEY_CLASSES_ROOT, kAppIdKey, "") != std::optional<std::string>("Pivotra"))
    return "wrong AppID name";
  if (ReadString(HKEY_CLASSES_ROOT, kExeKey, "AppID") != std::optional<std::string>(kAppId))
    return "wrong Pivotra.EXE AppID";
  // Nothing else than the entries of the script and the two values of registration.
  for (const std::string& name : ValueNames(HKEY_CLASSES_ROOT, kAppIdKey)) {
    if (!name.empty() && name != "LocalService" && name != "ServiceParameters")
      return "extra value " + name;
  }
  if (ValueNames(HKEY_CLASSES_ROOT, kExeKey) != Texts{"AppID"}) return "extra Pivotra.EXE values";
  if (!SubkeyNames(HKEY_CLASSES_ROOT, kAppIdKey).empty() ||
      !SubkeyNames(HKEY_CLASSES_ROOT, kExeKey).empty())
    return "extra subkeys";
  return "present";
}

bool TypeLibraryRegistered() {
  if (!KeyExists(HKEY_CLASSES_ROOT, kTypeLibKey)) return false;
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kTypeLibVersionKey, ""),
            std::optional<std::string>("Pivotra 1.0 Type Library"));
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kTypeLibFileKey, ""), std::optional<std::string>(kProgram));
  return true;
}

// The program's own message table gives its entries their text.
std::string EventSource() {
  if (!KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey)) return "absent";
  if (ReadExpandString(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile") !=
      std::optional<std::string>(kProgram))
    return "wrong EventMessageFile";
  if (ReadDword(HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported") != std::optional<DWORD>(7))
    return "wrong TypesSupported";
  return "present";
}

Registration Observe() {
  return {QueryService(kService).has_value(),
          AppIdEntries(),
          ReadString(HKEY_CLASSES_ROOT, kAppIdKey, "LocalService"),
          ReadString(HKEY_CLASSES_ROOT, kAppIdKey, "ServiceParameters"),
          TypeLibraryRegistered(),
          EventSource()};
}

const Registration kAfterService{true, "present", "Pivotra", "-Service", true, "present"};
const Registration kAfterRegServer{false, "present", std::nullopt, std::nullopt, true, "absent"};
const Registration kAfterRegServerOverService{false, "present", std::nullopt, "-Service", true,
                                              "absent"};
const Registration kNothing{false, "absent", std::nullopt, std::nullopt, false, "absent"};

class Installed : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(CopyInto(BuiltProgram(), kDirectory), kProgram);
  }

  // Runs the program with a switch; it must end, silently unless the test says otherwise.
  static ProgramRun Switch(const char* argument, DWORD exitCode = 0) {
    ProgramRun run = RunProgram(kProgram, argument);
    EXPECT_TRUE(run.ended) << argument;
    EXPECT_EQ(run.exitCode, exitCode) << argument;
    return run;
  }
};

TEST_F(Installed, ServiceInstallsTheServiceWithoutStartingIt) {
  const ProgramRun run = Switch("-Service");
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(run.debugStrings, kServiceLines);
  EXPECT_EQ(Observe(), kAfterService);

  const auto status = QueryService(kService);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  // In quotes: unquoted, the blank would make the service control manager try
  // "C:\Program.exe" first.
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath"),
            std::optional<std::string>("\"C:\\Program Files\\Pivotra\\Pivotra.EXE\""));
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kServiceKey, "Start"), std::optional<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kServiceKey, "Type"),
            std::optional<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kServiceKey, "ErrorControl"),
            std::optional<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kServiceKey, "ObjectName"),
            std::optional<std::string>("LocalSystem"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kServiceKey, "DisplayName"),
            std::optional<std::string>("Pivotra"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kServiceKey, "Description"),
            std::optional<std::string>("Pivotra Control Service"));
  // Only the first name: Wine's CreateServiceA passes on that name and whatever lies behind it
  // in memory (the 32-bit build shows it).
  EXPECT_EQ(
      ReadBytes(HKEY_LOCAL_MACHINE, kServiceKey, "DependOnService").value_or("").substr(0, 6),
      std::string("RPCSS\0", 6));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "AppID"));
}

TEST_F(Installed, ServiceTwiceUpdatesTheServiceInPlace) {
  Switch("-Service");
  const ProgramRun again = Switch("-Service");
  EXPECT_TRUE(again.messageBoxes.empty());
  EXPECT_EQ(again.debugStrings, kReserviceLines);
  EXPECT_EQ(Observe(), kAfterService);
}

// The service control manager takes a change of nothing from any service but one marked for
// deletion.
bool MarkedForDeletion() {
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const unique_schandle service(::OpenServiceA(manager.get(), kService, SERVICE_CHANGE_CONFIG));
  return service && !::ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                            SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr) &&
         ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

// An open services console, or a monitoring agent, holds the service: a deletion could not
// complete while it does, so the service is stopped and updated in place, at once.
TEST_F(Installed, ServiceAgainWhileAnotherProgramHoldsTheRunningServiceKeepsIt) {
  Switch("-Service");
  ASSERT_EQ(StartService(kService), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(WaitForServiceState(kService, SERVICE_RUNNING));
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const unique_schandle held(::OpenServiceA(manager.get(), kService, SERVICE_QUERY_STATUS));
  ASSERT_TRUE(held);

  const auto begin = std::chrono::steady_clock::now();
  const ProgramRun again = Switch("-Service");
  // Far from the 30 s that a wait for a deletion would take.
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
  EXPECT_TRUE(again.messageBoxes.empty());
  EXPECT_EQ(again.debugStrings, kReserviceLines);
  EXPECT_EQ(Observe(), kAfterService);
  EXPECT_FALSE(MarkedForDeletion());

  // Stopped for the update, it runs again at its next start.
  ASSERT_TRUE(WaitForServiceState(kService, SERVICE_STOPPED));
  ASSERT_EQ(StartService(kService), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(WaitForServiceState(kService, SERVICE_RUNNING));
}

TEST_F(Installed, RegServerOnACleanMachineRegistersOnlyWithCom) {
  const ProgramRun run = Switch("-RegServer");
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(run.debugStrings, kRegisterLines);
  EXPECT_EQ(Observe(), kAfterRegServer);
}

TEST_F(Installed, RegServerAfterServiceLeavesALocalServer) {
  Switch("-Service");
  const ProgramRun run = Switch("/REGSERVER");
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(run.debugStrings, kReregisterLines);
  EXPECT_EQ(Observe(), kAfterRegServerOverService);

  // A plain start now runs in the foreground until it is ended from outside.
  const std::size_t mark = ProgramLog().Mark();
  RunningProgram program(kProgram, "");
  ASSERT_TRUE(program.started());
  // Standard output is in text mode: a newline goes out as CR LF.
  EXPECT_TRUE(program.WaitForOutput("Service started\r\n")) << program.Output();
  EXPECT_TRUE(ProgramLog().WaitFor(
      [&](const LogLine& line) {
        return line.processId == program.processId() && line.channel == "debugstr" &&
               UnquoteDebugString(line.text) == "ExecNotificationQueryAsync OK";
      },
      mark));
  EXPECT_TRUE(program.Running());
  EXPECT_EQ(program.Output().substr(0, 17), "Service started\r\n");
}

TEST_F(Installed, UnregServerRemovesEverythingButTheAppIdKey) {
  Switch("-Service");
  const ProgramRun run = Switch("-UnregServer");
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_EQ(run.debugStrings, (Texts{"Stopping Pivotra Control Service code...", "Ferrox stopped"}));
  EXPECT_EQ(Observe(), kNothing);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "AppID"));

  const ProgramRun plain = Switch("", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plain.output, "");
}

TEST_F(Installed, UnregServerOnACleanMachineDoesNothing) {
  const bool appIdBefore = KeyExists(HKEY_CLASSES_ROOT, "AppID");
  const ProgramRun run = Switch("-unregserver");
  EXPECT_TRUE(run.messageBoxes.empty());
  EXPECT_TRUE(run.debugStrings.empty());
  EXPECT_EQ(Observe(), kNothing);
  EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, "AppID"), appIdBefore);
}

TEST_F(Installed, NeverRegisteredAPlainStartEndsWithTheRegistrysCode) {
  const ProgramRun run = Switch("", ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(run.output, "");
  EXPECT_TRUE(run.debugStrings.empty());
  // A switch that does not end the command line is none.
  EXPECT_EQ(Switch("-Service x", ERROR_FILE_NOT_FOUND).debugStrings, Texts{});
  EXPECT_EQ(Observe(), kNothing);
}

DWORD ServiceProcess() {
  const auto status = QueryService(kService);
  return status ? status->dwProcessId : 0;
}

bool WaitForServiceLine(DWORD processId, const char* channel, const std::string& text,
                        std::size_t from) {
  return ServicesLog().WaitFor(
      [&](const LogLine& line) {
        return line.processId == processId && line.channel == channel &&
               UnquoteDebugString(line.text) == text;
      },
      from);
}

TEST_F(Installed, TheServiceControlManagerStartsAndStopsTheService) {
  Switch("-Service");
  ASSERT_EQ(StartService(kService), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(WaitForServiceState(kService, SERVICE_RUNNING));
  const DWORD processId = ServiceProcess();
  ASSERT_NE(processId, 0u);
  const unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  ASSERT_TRUE(process);

  // It subscribes, and the wait thread resets the stored orientation beside the program.
  ASSERT_TRUE(WaitForServiceLine(processId, "debugstr", "ExecNotificationQueryAsync OK", servicesMark_));
  EXPECT_EQ(ReadFileBytes(std::string(kDirectory) + "\\GSensor_Setting.ini").substr(0, 42),
            "[G-SensorCtrl]\r\nGSensorLastOrientation=2\r\n");
  auto lines = ServicesLog().Lines(servicesMark_);
  EXPECT_EQ(StatusReports(lines, processId), (std::vector<StatusReport>{kStartPending, kRunning}));
  EXPECT_EQ(EventLogEntries(lines, processId), Texts{"Service started"});
  const Texts debug = DebugStrings(lines, processId);
  ASSERT_FALSE(debug.empty());
  EXPECT_EQ(debug.front(), "CServiceModule::Run() ...");
  EXPECT_NE(std::find(debug.begin(), debug.end(), "[Ferrox_Start] Pivotra control Service starting..."),
            debug.end());

  // Interrogate is answered silently; a code of the service's own range is a bad request.
  // Both run on the dispatcher thread in turn, so the second one's entry closes the first.
  EXPECT_EQ(ControlService(kService, SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(ControlService(kService, 128), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(WaitForServiceLine(processId, "eventlog", "Bad service request", servicesMark_));
  lines = ServicesLog().Lines(servicesMark_);
  EXPECT_EQ(StatusReports(lines, processId), (std::vector<StatusReport>{kStartPending, kRunning}));
  EXPECT_EQ(EventLogEntries(lines, processId), (Texts{"Service started", "Bad service request"}));

  ASSERT_EQ(ControlService(kService, SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(WaitForServiceState(kService, SERVICE_STOPPED));
  ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(QueryService(kService)->dwWin32ExitCode, 0u);

  ASSERT_TRUE(WaitForServiceLine(processId, "eventlog", "Service stopped", servicesMark_));
  lines = ServicesLog().Lines(servicesMark_);
  EXPECT_EQ(StatusReports(lines, processId),
            (std::vector<StatusReport>{kStartPending, kRunning, kStopPending, kStopped}));
  EXPECT_EQ(EventLogEntries(lines, processId),
            (Texts{"Service started", "Bad service request", "Service stopped"}));
  // Each with its type and ID, by which a fleet's log collection filters.
  EXPECT_EQ(EventReports(lines, processId),
            (std::vector<Texts>{{"4 102", "Service started"}, {"2 105", "Bad service request"},
                                {"4 103", "Service stopped"}}));
  const Texts after = DebugStrings(lines, processId);
  EXPECT_NE(std::find(after.begin(), after.end(), "Exit from CServiceModule::Run()"), after.end());
}

TEST_F(Installed, AStopRightAfterTheStartIsNotLost) {
  Switch("-Service");
  ASSERT_EQ(StartService(kService), static_cast<DWORD>(ERROR_SUCCESS));
  const DWORD processId = ServiceProcess();
  const unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  ASSERT_TRUE(process);
  // As soon as the service control manager passes a stop on.
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  DWORD result = 0;
  while ((result = ControlService(kService, SERVICE_CONTROL_STOP)) != ERROR_SUCCESS &&
         std::chrono::steady_clock::now() < deadline) {
  }
  ASSERT_EQ(result, static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(WaitForServiceState(kService, SERVICE_STOPPED));
  ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(process.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  const auto reports = StatusReports(ServicesLog().Lines(servicesMark_), processId);
  ASSERT_GE(reports.size(), 3u);
  EXPECT_EQ(reports.front(), kStartPending);
  EXPECT_EQ(reports[reports.size() - 2], kStopPending);
  EXPECT_EQ(reports.back(), kStopped);
}

TEST_F(Installed, WithoutLocalServiceEvenTheServiceControlManagerGetsALocalServer) {
  Switch("-Service");
  {
    unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kAppIdKey, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteValueA(key.get(), "LocalService"), ERROR_SUCCESS);
  }
  // It never connects to the dispatcher, so the start times out.
  EXPECT_EQ(StartService(kService), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
  DWORD processId = 0;
  ASSERT_TRUE(ServicesLog().WaitFor(
      [&](const LogLine& line) {
        if (line.channel != "debugstr" || UnquoteDebugString(line.text) != "ExecNotificationQueryAsync OK")
          return false;
        processId = line.processId;
        return true;
      },
      servicesMark_));
  const auto lines = ServicesLog().Lines(servicesMark_);
  EXPECT_EQ(DebugStrings(lines, processId).front(), "CServiceModule::Run() ...");
  EXPECT_TRUE(StatusReports(lines, processId).empty());
  EXPECT_TRUE(EventLogEntries(lines, processId).empty());  // "Service started" went to stdout
}

TEST_F(Installed, AServiceThatCannotBeCreatedShowsItsMessageAndEndsWithItsError) {
  // Another service already has the display name.
  ASSERT_EQ(CreateOtherService("PivotraOther", "Pivotra"), static_cast<DWORD>(ERROR_SUCCESS));
  const ProgramRun run = Switch("-Service", ERROR_DUPLICATE_SERVICE_NAME);
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_EQ(run.messageBoxes[0].owner, 0u);
  EXPECT_EQ(run.messageBoxes[0].text, "Couldn't create service");
  EXPECT_EQ(run.messageBoxes[0].caption, "Pivotra");
  EXPECT_EQ(run.messageBoxes[0].style, static_cast<unsigned long long>(MB_OK));
  // The registration ends there, before the type library and the event source.
  EXPECT_EQ(Observe(), (Registration{false, "present", "Pivotra", "-Service", false, "absent"}));
}

TEST_F(Installed, AServiceThatCannotBeDeletedShowsItsMessage) {
  Switch("-Service");
  // A handle held open keeps a deleted service until it is closed.
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const unique_schandle held(::OpenServiceA(manager.get(), kService, SERVICE_QUERY_STATUS));
  ASSERT_TRUE(held);
  EXPECT_TRUE(Switch("-UnregServer").messageBoxes.empty());

  const ProgramRun again = Switch("-UnregServer");
  ASSERT_EQ(again.messageBoxes.size(), 1u);
  EXPECT_EQ(again.messageBoxes[0].text, "Service could not be deleted");
  EXPECT_EQ(again.messageBoxes[0].caption, "Pivotra");
  EXPECT_EQ(again.messageBoxes[0].style, static_cast<unsigned long long>(MB_OK));
}

void EndServicesProcess() {
  const unique_file_handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  ASSERT_TRUE(snapshot);
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
       more = ::Process32Next(snapshot.get(), &entry)) {
    if (::lstrcmpiA(entry.szExeFile, "services.exe") != 0) continue;
    const unique_handle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    ASSERT_TRUE(process);
    ASSERT_TRUE(::TerminateProcess(process.get(), 1));
    ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
    return;
  }
  FAIL() << "no services.exe";
}

TEST_F(Installed, WithoutTheServiceControlManagerInstallShowsItsMessageAndFails) {
  EndServicesProcess();
  const ProgramRun run = Switch("-Service", RPC_S_SERVER_UNAVAILABLE);
  // The stop before the update finds no service to stop and says nothing.
  ASSERT_EQ(run.messageBoxes.size(), 1u);
  EXPECT_EQ(run.messageBoxes[0].text, "Couldn't open service manager");
  EXPECT_EQ(run.messageBoxes[0].caption, "Pivotra");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, kAppIdKey, "LocalService"), std::optional<std::string>("Pivotra"));
}

TEST_F(SessionTest, ADescriptionOf127CharactersIsStoredWhole) {
  ASSERT_EQ(CreateOtherService("Described", "Described"), static_cast<DWORD>(ERROR_SUCCESS));
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const unique_schandle service(::OpenServiceA(manager.get(), "Described", SERVICE_CHANGE_CONFIG));
  ASSERT_TRUE(service);
  const char* key = "System\\CurrentControlSet\\Services\\Described";

  std::string longest;
  for (int i = 0; i < 127; ++i) longest += static_cast<char>('a' + i % 26);
  ASSERT_TRUE(SetServiceDescription(service.get(), longest));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Description"), std::optional<std::string>(longest));

  ASSERT_TRUE(SetServiceDescription(service.get(), longest + "XYZ"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Description"), std::optional<std::string>(longest));
}

}  // namespace
