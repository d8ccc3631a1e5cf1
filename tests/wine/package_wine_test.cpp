// The package as an administrator deploys it, through Wine's own msiexec, each case in a Wine
// session of its own: a silent install and the sign-in start it sets up, an upgrade from the
// latest release and a repair while the service runs, an uninstall (also from a folder of the
// administrator's choice), refused preferences and platforms, an installation whose registration
// fails, and the display program's entries in the event log. The test WMI provider is WMI for the session, so that the
// installed service can be given an event. Every msiexec run writes its verbose log into the
// session directory; a failing case prints them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "common/ModuleDirectory.h"
#include "common/UniqueHandle.h"
#include "tests/support/Eventually.h"
#include "tests/support/RegistrationKeys.h"
#include "tests/support/ServiceSession.h"
#include "tests/support/SettingsTexts.h"
#include "tests/support/TempDir.h"
#include "tools/wmi-test-provider/ProviderClient.h"

namespace {

using namespace session;
using Texts = std::vector<std::string>;
using Entries = std::vector<Texts>;  // event-log entries

// The package installs into the program files of its own bitness, which is this test's.
std::string ProgramFiles() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA("ProgramFiles", path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : "C:\\Program Files";
}

constexpr const char* kService = "Pivotra";
const std::string kDirectory = ProgramFiles() + "\\Pivotra";
const std::string kProgram = kDirectory + "\\Pivotra.EXE";
const std::string kDisplayProgram = kDirectory + "\\TurnDisplay.exe";
const std::string kConsoleTwin = kDirectory + "\\TurnDisplay.com";
const std::string kSettings = kDirectory + "\\GSensor_Setting.ini";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The preferences the package's properties write, in the package's view, this test's own.
constexpr const char* kPreferenceKey = "SOFTWARE\\Pivotra";

// The administrator's settings: a threshold of 3, every other key as the service writes it.
const std::string kAdministratorsSettings = [] {
  std::string text = kSettingsAfterFirstStart;
  text.replace(text.find("Rotation_Count=0"), 16, "Rotation_Count=3");
  return text;
}();

std::string BuiltFile(const std::string& relative) {
  char full[MAX_PATH] = {};
  const DWORD length =
      ::GetFullPathNameA((GetModuleDirectory(true) + relative).c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(full, length) : relative;
}
// This build's package, the same signed, and the latest release's, with its programs.
std::string Package() { return BuiltFile(PIVOTRA_PACKAGE); }
std::string SignedPackage() { return BuiltFile(PIVOTRA_SIGNED_PACKAGE); }
std::string EarlierPackage() { return BuiltFile(PIVOTRA_EARLIER_PACKAGE); }

// A program's version as its version block says it, "1.1.0.0".
std::string FileVersion(const std::string& path) {
  std::string block(::GetFileVersionInfoSizeA(path.c_str(), nullptr), '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (block.empty() || !::GetFileVersionInfoA(path.c_str(), 0, block.size(), block.data()) ||
      !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
    return "(none)";
  char text[24];
  std::snprintf(text, sizeof(text), "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                LOWORD(fixed->dwFileVersionLS));
  return text;
}

// A value as a test compares it: a string in quotes, an unexpanded one after "expand", a
// number, or the bytes of anything else.
std::string Shown(HKEY root, const std::string& key, const char* name) {
  if (const auto text = ReadString(root, key, name)) return "\"" + *text + "\"";
  if (const auto text = ReadExpandString(root, key, name)) return "expand \"" + *text + "\"";
  if (const auto number = ReadDword(root, key, name)) return std::to_string(*number);
  if (const auto bytes = ReadBytes(root, key, name)) return "bytes " + *bytes;
  return "(absent)";
}

struct Entry {
  HKEY root;
  std::string key;
  const char* name;
  std::string shown;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Everything registration writes, as "Pivotra.EXE -Service" writes it, and the sign-in entry.
const Entry kRegistration[] = {
    {HKEY_CLASSES_ROOT, kAppIdKey, "", "\"Pivotra\""},
    {HKEY_CLASSES_ROOT, kAppIdKey, "LocalService", "\"Pivotra\""},
    {HKEY_CLASSES_ROOT, kAppIdKey, "ServiceParameters", "\"-Service\""},
    {HKEY_CLASSES_ROOT, kExeKey, "AppID", "\"{5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}\""},
    {HKEY_CLASSES_ROOT, "TypeLib\\{8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}\\1.0", "",
     "\"Pivotra 1.0 Type Library\""},
    {HKEY_CLASSES_ROOT,
     std::string("TypeLib\\{8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}\\1.0\\409\\") +
         (sizeof(void*) == 8 ? "win64" : "win32"),
     "", Quoted(kProgram)},
    {HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath", Quoted(Quoted(kProgram))},
    {HKEY_LOCAL_MACHINE, kServiceKey, "Type", "16"},
    {HKEY_LOCAL_MACHINE, kServiceKey, "Start", "2"},
    {HKEY_LOCAL_MACHINE, kServiceKey, "ErrorControl", "1"},
    {HKEY_LOCAL_MACHINE, kServiceKey, "ObjectName", "\"LocalSystem\""},
    {HKEY_LOCAL_MACHINE, kServiceKey, "DisplayName", "\"Pivotra\""},
    {HKEY_LOCAL_MACHINE, kServiceKey, "Description", "\"Pivotra Control Service\""},
    {HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile", "expand " + Quoted(kProgram)},
    {HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported", "7"},
    {HKEY_LOCAL_MACHINE, kRunKey, "Pivotra", Quoted(Quoted(kDisplayProgram) + " restore")},
};

// The versions of Pivotra that Windows Installer lists as installed.
Texts InstalledVersions() {
  Texts versions;
  for (const std::string& product : SubkeyNames(HKEY_LOCAL_MACHINE, kUninstallKey)) {
    const std::string key = std::string(kUninstallKey) + "\\" + product;
    if (ReadString(HKEY_LOCAL_MACHINE, key, "DisplayName") == std::optional<std::string>("Pivotra"))
      versions.push_back(ReadString(HKEY_LOCAL_MACHINE, key, "DisplayVersion").value_or("?"));
  }
  return versions;
}

// Starts a command line as the sign-in does, from a process without a console, in a job that
// ends whatever is left of it: how many processes the job held. A console program brings a
// console host along (Wine's conhost.exe; on Windows, its window); a windowless one comes alone.
DWORD ProcessesOfASignInStart(std::string commandLine) {
  const unique_handle job(::CreateJobObjectA(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_SUSPENDED, nullptr, nullptr, &startup, &started))
    return 0;
  const unique_handle process(started.hProcess), thread(started.hThread);
  ::AssignProcessToJobObject(job.get(), process.get());  // ended with the job, whatever happens
  ::ResumeThread(thread.get());
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
  if (::WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0 ||
      !::QueryInformationJobObject(job.get(), JobObjectBasicAccountingInformation, &accounting,
                                   sizeof(accounting), nullptr))
    return 0;
  return accounting.TotalProcesses;
}

void ExpectInstalledAndRunning() {
  for (const std::string& program : {kProgram, kDisplayProgram, kConsoleTwin})
    EXPECT_EQ(FileVersion(program), PIVOTRA_VERSION) << program;
  for (const Entry& entry : kRegistration)
    EXPECT_EQ(Shown(entry.root, entry.key, entry.name), entry.shown) << entry.key << " " << entry.name;
  // Only the first name: Wine's CreateServiceA passes on that name and whatever lies behind it
  // in memory (the 32-bit build shows it).
  EXPECT_EQ(Shown(HKEY_LOCAL_MACHINE, kServiceKey, "DependOnService").substr(0, 12),
            std::string("bytes RPCSS\0", 12));
  const auto status = QueryService(kService);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
}

void ExpectNothingLeft() {
  EXPECT_FALSE(QueryService(kService));
  for (const char* key : {kAppIdKey, kExeKey, kTypeLibKey, kServiceKey})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key) || KeyExists(HKEY_LOCAL_MACHINE, key)) << key;
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kEventSourceKey));
  EXPECT_EQ(Shown(HKEY_LOCAL_MACHINE, kRunKey, "Pivotra"), "(absent)");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPreferenceKey));
  EXPECT_FALSE(FileExists(kDirectory)) << "the settings file, say";
  EXPECT_EQ(InstalledVersions(), Texts{});
}

class Deployment : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(FileExists(Package())) << Package();
    ASSERT_EQ(wmitest::RegisterProvider(BuiltFile(PIVOTRA_WMI_TEST_PROVIDER)), ERROR_SUCCESS);
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const std::string& log : logs_)
        std::cout << "---- " << log << " ----\n" << ReadFileBytes(log) << "\n---- end ----\n";
    }
    SessionTest::TearDown();
  }

  // msiexec, silent, with its verbose log in the session directory; its exit code.
  DWORD Msiexec(const std::string& arguments, const std::string& logName) {
    const std::string log = Directory() + "\\" + logName;
    logs_.push_back(log);
    const ProgramRun run = RunProgram("C:\\windows\\system32\\msiexec.exe",
                                      arguments + " /qn /l*v \"" + log + "\"", kMsiexecDeadline);
    EXPECT_TRUE(run.ended) << "msiexec " << arguments;
    return run.exitCode;
  }

  DWORD Install(const std::string& package, const std::string& logName = "install.log",
                const std::string& properties = "") {
    return Msiexec("/i \"" + package + "\" " + properties, logName);
  }

  // The running service's process, once it has subscribed to the G-sensor's events (and has
  // written the settings file of its start).
  DWORD WaitUntilSubscribed() {
    EXPECT_TRUE(WaitForServiceState(kService, SERVICE_RUNNING));
    const auto status = QueryService(kService);
    if (!status) return 0;
    const DWORD process = status->dwProcessId;
    EXPECT_TRUE(ServicesLog().WaitFor(
        [&](const LogLine& line) {
          return line.processId == process && line.channel == "debugstr" &&
                 UnquoteDebugString(line.text) == "ExecNotificationQueryAsync OK";
        },
        servicesMark_))
        << "the service did not subscribe";
    return process;
  }

  static constexpr std::chrono::milliseconds kMsiexecDeadline{120000};
  Texts logs_;
};

TEST_F(Deployment, InstallsRegistersAndStartsTheSignedService) {
  ASSERT_EQ(Install(SignedPackage()), 0u);
  ExpectInstalledAndRunning();
  EXPECT_EQ(InstalledVersions(), Texts{PIVOTRA_VERSION});
  // The entry shows the program's icon (published where the product's registration names it),
  // says what Pivotra is and where to get help.
  EXPECT_GT(::ExtractIconExA("C:\\windows\\Installer\\{" PIVOTRA_PRODUCT_CODE "}\\Pivotra.exe", -1,
                             nullptr, nullptr, 0),
            0u);
  const std::string entry = std::string(kUninstallKey) + "\\{" PIVOTRA_PRODUCT_CODE "}";
  for (const char* text : {"Comments", "Contact"})
    EXPECT_NE(ReadString(HKEY_LOCAL_MACHINE, entry, text).value_or(""), "") << text;
  EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, entry, "NoModify"), 1u);
  for (const char* preference : {"AutoRotation", "Displays"})
    EXPECT_EQ(Shown(HKEY_LOCAL_MACHINE, kPreferenceKey, preference), "(absent)") << "not given";
  ASSERT_NE(WaitUntilSubscribed(), 0u);

  // The first event asks the shipped display program for Left. Under Wine it cannot turn the
  // screen (the driver refuses the mode), so the service keeps Down and Left stays pending.
  wmitest::Request left;
  left.kind = wmitest::Request::Kind::Deliver;
  left.batches = 1;
  left.data = {0x06};
  std::string error;
  EXPECT_EQ(wmitest::Ask(left, 30000, error), std::optional<std::string>("ok\nindicate 0x0\n"))
      << error;
  EXPECT_TRUE(Eventually([] { return ReadFileBytes(kSettings) == kSettingsWithLeftPending; }))
      << ReadFileBytes(kSettings);

  // The next sign-in runs the Run value's command line: no console comes with it. Its console
  // twin, for comparison, brings one.
  EXPECT_EQ(ProcessesOfASignInStart(ReadString(HKEY_LOCAL_MACHINE, kRunKey, "Pivotra").value_or("")),
            1u);
  EXPECT_EQ(ProcessesOfASignInStart("\"" + kConsoleTwin + "\" restore"), 2u);
}

// From the latest release to this build by the default file rules: each program of a lower
// version is replaced.
TEST_F(Deployment, AnUpgradeWhileTheServiceRunsKeepsTheAdministratorsSettings) {
  ASSERT_EQ(Install(EarlierPackage(), "install.log", "AUTOROTATION=0 DISPLAYS=1"), 0u);
  ASSERT_EQ(FileVersion(kProgram), PIVOTRA_EARLIER_VERSION);
  const DWORD before = WaitUntilSubscribed();
  WriteFileBytes(kSettings, kAdministratorsSettings);

  ASSERT_EQ(Install(Package(), "upgrade.log"), 0u);
  ExpectInstalledAndRunning();
  EXPECT_EQ(InstalledVersions(), Texts{PIVOTRA_VERSION});
  EXPECT_NE(WaitUntilSubscribed(), before);
  EXPECT_EQ(ReadFileBytes(kSettings), kAdministratorsSettings);
  // The preferences stay, and the installed display program reads them where they are: its
  // status names each input (Wine: tablet posture, no sensor, one monitor it calls internal).
  const ProgramRun status = RunProgram(kDisplayProgram, "status");
  EXPECT_EQ(status.exitCode, 0u);
  EXPECT_EQ(status.events, Entries{});
  // The lines of the chain follow, which the service's life tests read.
  const std::string inputs =
      "AutoRotation: 0 (never), from the preference key HKLM\\SOFTWARE\\Pivotra\r\n"
      "Displays: 1 (the primary display), from the preference key HKLM\\SOFTWARE\\Pivotra\r\n"
      "Posture: tablet (SM_CONVERTIBLESLATEMODE is 0)\r\n"
      "Windows' rotation state: AR_NOSENSOR (0x10)\r\n"
      "Display: the primary display \\\\.\\DISPLAY1, connector INTERNAL, at 0 degrees "
      "(1024 x 768)\r\n"
      "Stored orientation: 2 (0 degrees), pending: none\r\n"
      "A turn now: exit code 9, the policy turns auto-rotation off; the primary display stays "
      "as it is\r\n";
  EXPECT_EQ(status.output.substr(0, inputs.size()), inputs);
  // Typed in a command prompt, "TurnDisplay status" is the console twin (.COM before .EXE).
  const ProgramRun typed = RunProgram("C:\\windows\\system32\\cmd.exe",
                                      "/c cd /d \"" + kDirectory + "\" && TurnDisplay status");
  EXPECT_EQ(typed.exitCode, 0u);
  EXPECT_EQ(typed.output, status.output);
}

TEST_F(Deployment, ARepairRestoresWhatWasLostAndKeepsTheSettings) {
  ASSERT_EQ(Install(Package()), 0u);
  const DWORD before = WaitUntilSubscribed();
  WriteFileBytes(kSettings, kAdministratorsSettings);
  ASSERT_TRUE(::DeleteFileA(kDisplayProgram.c_str()));
  {
    unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kAppIdKey, 0, KEY_SET_VALUE, key.put()), 0);
    ASSERT_EQ(::RegDeleteValueA(key.get(), "LocalService"), 0);
  }

  // What "msiexec /fa" does; Wine's msiexec takes the repair only in this form.
  ASSERT_EQ(Msiexec("/i \"" + Package() + "\" REINSTALL=ALL REINSTALLMODE=vamus", "repair.log"), 0u);
  ExpectInstalledAndRunning();
  EXPECT_EQ(InstalledVersions(), Texts{PIVOTRA_VERSION});
  EXPECT_NE(WaitUntilSubscribed(), before);
  EXPECT_EQ(ReadFileBytes(kSettings), kAdministratorsSettings);
}

// From the default folder, and from one the administrator chose (INSTALLDIR).
TEST_F(Deployment, AnUninstallLeavesNothingBehind) {
  for (const std::string& folder : {kDirectory, std::string("C:\\Fleet\\Pivotra")}) {
    const std::string chosen = folder == kDirectory ? "" : " INSTALLDIR=" + folder;
    ASSERT_EQ(Install(Package(), "install.log", "AUTOROTATION=0 DISPLAYS=1" + chosen), 0u);
    ASSERT_NE(WaitUntilSubscribed(), 0u);
    EXPECT_EQ(Shown(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath"),
              Quoted(Quoted(folder + "\\Pivotra.EXE")));
    ASSERT_TRUE(FileExists(folder + "\\GSensor_Setting.ini"));

    ASSERT_EQ(Msiexec("/x \"" + Package() + "\"", "uninstall.log"), 0u);
    ExpectNothingLeft();
    EXPECT_FALSE(FileExists(folder));
  }
}

// Gives a service another display name, as another program could.
bool SetDisplayName(const char* service, const char* displayName) {
  const unique_schandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  const unique_schandle handle(::OpenServiceA(manager.get(), service, SERVICE_CHANGE_CONFIG));
  return handle && ::ChangeServiceConfigA(handle.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                          SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, displayName);
}

// Only a first installation's rollback unregisters: a failed upgrade leaves the earlier one's
// registration (Wine's rollback removes the files, where Windows puts the earlier ones back).
TEST_F(Deployment, AFailedUpgradeLeavesTheEarlierVersionRegistered) {
  ASSERT_EQ(Install(EarlierPackage()), 0u);
  ASSERT_NE(WaitUntilSubscribed(), 0u);
  // Another service takes the display name the upgrade's registration gives the service.
  ASSERT_EQ(CreateOtherService("PivotraOther", "Other"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(SetDisplayName(kService, "Pivotra renamed"));
  ASSERT_TRUE(SetDisplayName("PivotraOther", "Pivotra"));

  EXPECT_NE(Install(Package(), "upgrade.log"), 0u);
  EXPECT_EQ(InstalledVersions(), Texts{PIVOTRA_EARLIER_VERSION});
  EXPECT_TRUE(QueryService(kService));
  for (const Entry& entry : kRegistration) {
    // Renamed above, and the package's own entry.
    if (std::string(entry.name) == "DisplayName" || entry.key == kRunKey) continue;
    EXPECT_EQ(Shown(entry.root, entry.key, entry.name), entry.shown) << entry.key << " " << entry.name;
  }
}

// Refused by the package's own check: Wine's msiexec logs the action, not its message. Last,
// Pivotra for the other platform, as its sign-in value in the other registry view shows it.
TEST_F(Deployment, APreferenceOutsideItsChoicesOrTheOtherPlatformRefusesTheInstallation) {
  for (const auto& [property, action] : {std::pair{"AUTOROTATION=3", "RefuseAutoRotation"},
                                         std::pair{"DISPLAYS=2", "RefuseDisplays"},
                                         std::pair{"", "RefuseOtherPlatform"}}) {
    unique_hkey run;
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    if (*property == '\0') {
      ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0,
                                  KEY_SET_VALUE | otherView, nullptr, run.put(), nullptr), 0);
      ASSERT_EQ(::RegSetValueExA(run.get(), "Pivotra", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>("x"), 2), 0);
    }
    EXPECT_NE(Install(Package(), std::string(action) + ".log", property), 0u) << action;
    EXPECT_NE(ReadFileBytes(logs_.back()).find(std::string(": ") + action + "."), std::string::npos);
    ExpectNothingLeft();
  }
}

// The message with an entry's strings, as Event Viewer renders it from the source's message
// file: whole, with no filler, which a message that asks for more strings would show.
void ExpectRenderedWhole(HMODULE table, const Texts& entry) {
  std::vector<DWORD_PTR> strings(9, DWORD_PTR("<missing>"));
  for (std::size_t i = 1; i < entry.size(); ++i) strings[i - 1] = DWORD_PTR(entry[i].c_str());
  char text[1024] = {};
  ASSERT_GT(::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, table,
                             std::stoul(entry[0].substr(2)), 0, text, sizeof(text),
                             reinterpret_cast<va_list*>(strings.data())),
            0u)
      << entry[0];
  EXPECT_EQ(std::string(text).find("<missing>"), std::string::npos) << text;
}

// Each outcome Wine can show leaves its entry: "type ID", then its strings, as the display
// program wrote it (Wine stores none, but traces each call).
TEST_F(Deployment, TheDisplayProgramTellsEachOutcomeInTheEventLog) {
  ASSERT_EQ(Install(Package()), 0u);
  const HMODULE table = ::LoadLibraryExA(
      ReadExpandString(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile").value_or("").c_str(),
      nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(table, nullptr);
  const std::string panel = "the built-in panel \\\\.\\DISPLAY1";
  const Texts refused = {"1 221", panel, "90", "DISP_CHANGE_BADMODE (-2)"};
  const std::pair<const char*, Entries> runs[] = {
      {"0", {{"4 201", panel, "0"}}},
      {"90", {refused}},
      {"ninety", {{"1 220", "the argument \"ninety\""}}},
      // The policy holds a text where it wants a number.
      {"90", {{"2 212", "AutoRotation", "HKLM\\SOFTWARE\\Policies\\Pivotra",
               "is a REG_SZ, not a REG_DWORD", "1 (only in tablet posture)"}, refused}},
  };
  unique_hkey policy;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Pivotra", 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, policy.put(), nullptr),
            ERROR_SUCCESS);
  for (const auto& [arguments, entries] : runs) {
    if (&entries == &runs[3].second) ::RegSetValueExA(policy.get(), "AutoRotation", 0, REG_SZ,
                                                      reinterpret_cast<const BYTE*>("0"), 2);
    const ProgramRun ran = RunProgram(kDisplayProgram, arguments);
    EXPECT_EQ(ran.events, entries) << arguments;
    for (const Texts& entry : ran.events) ExpectRenderedWhole(table, entry);
  }
  ::FreeLibrary(table);
}

TEST_F(Deployment, AFailedRegistrationRollsTheInstallationBack) {
  // Another service already has the display name: the service cannot be created.
  ASSERT_EQ(CreateOtherService("PivotraOther", "Pivotra"), static_cast<DWORD>(ERROR_SUCCESS));
  const std::size_t mark = ProgramLog().Mark();
  EXPECT_NE(Install(Package()), 0u);
  ExpectNothingLeft();
  EXPECT_TRUE(QueryService("PivotraOther"));

  // The registration said why (in its message box, here).
  EXPECT_NE(ProgramLog().Text(mark).find("\"Couldn't create service\""), std::string::npos);
}

}  // namespace
