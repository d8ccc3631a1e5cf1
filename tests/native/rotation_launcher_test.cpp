#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/portable_debug_output.h"
#include "orientation/RotationLauncher.h"

namespace {

// The session calls behind a seam: what was asked, and whether every token was closed.
struct FakeSessions {
  struct Token {
    Token(FakeSessions* owner, bool service) : owner(owner), service(service) {}
    Token(Token&& other) noexcept : owner(other.owner), service(other.service) {
      other.owner = nullptr;
    }
    Token(const Token&) = delete;
    ~Token() {
      if (owner != nullptr) ++owner->tokensClosed;
    }
    explicit operator bool() const { return owner != nullptr; }
    FakeSessions* owner;
    bool service;
  };

  // A started program, waited for through its owner; closed when the last owner goes.
  using Process = std::shared_ptr<FakeSessions>;

  std::uint32_t ActiveConsoleSessionId() { return consoleSession; }

  Token QueryUserToken(std::uint32_t sessionId) {
    tokenAskedFor.push_back(sessionId);
    if (!userLoggedOn) lastError = 1008;  // ERROR_NO_TOKEN
    tokensGiven += userLoggedOn ? 1 : 0;
    return Token(userLoggedOn ? this : nullptr, false);
  }
  Token ServiceToken(std::uint32_t) {
    ++serviceTokensAsked;
    if (!serviceTokenGiven) lastError = 1314;  // ERROR_PRIVILEGE_NOT_HELD
    tokensGiven += serviceTokenGiven ? 1 : 0;
    return Token(serviceTokenGiven ? this : nullptr, true);
  }
  std::optional<bool> SessionLocked(std::uint32_t) { return locked; }
  bool SessionRemote(std::uint32_t) { return remote; }
  std::uint32_t LastError() const { return lastError; }

  Process CreateProcessAsUser(const Token& token, const char* applicationName, char* commandLine,
                              std::uint32_t creationFlags, const char* desktopName) {
    EXPECT_TRUE(static_cast<bool>(token));
    EXPECT_EQ(tokensClosed, 0) << "the token must live until the process is created";
    application = applicationName ? std::optional<std::string>(applicationName) : std::nullopt;
    command = commandLine ? std::optional<std::string>(commandLine) : std::nullopt;
    desktop = desktopName ? std::optional<std::string>(desktopName) : std::nullopt;
    serviceToken = token.service;
    flags = creationFlags;
    ++created;
    if (!processStarts) {
      lastError = 1260;  // ERROR_ACCESS_DISABLED_BY_POLICY
      return nullptr;
    }
    return Process(this, [](FakeSessions* sessions) { ++sessions->processesClosed; });
  }

  launcher::ProgramWait AwaitExit(const Process& process, std::chrono::milliseconds bound) {
    EXPECT_TRUE(static_cast<bool>(process));
    EXPECT_EQ(processesClosed, 0) << "the process must be waited for before it is let go";
    waitedFor = bound;
    return wait;
  }
  bool End(const Process& process) {
    EXPECT_TRUE(static_cast<bool>(process));
    EXPECT_EQ(processesClosed, 0) << "the process must be ended before it is let go";
    ++ended;
    if (!endSucceeds) lastError = 5;
    return endSucceeds;
  }

  std::uint32_t consoleSession = 1;
  bool userLoggedOn = true;
  bool serviceTokenGiven = true;
  std::optional<bool> locked = false;
  bool remote = false;
  bool processStarts = true;
  launcher::ProgramWait wait{launcher::WaitEnd::Exited, 0};
  bool endSucceeds = true;

  std::vector<std::uint32_t> tokenAskedFor;
  int serviceTokensAsked = 0;
  int tokensGiven = 0;
  int tokensClosed = 0;
  int created = 0;
  int processesClosed = 0;
  int ended = 0;
  std::uint32_t lastError = 0;
  std::optional<std::chrono::milliseconds> waitedFor;
  std::optional<std::string> application;
  std::optional<std::string> command;
  std::optional<std::string> desktop;
  bool serviceToken = false;
  std::uint32_t flags = 0;
};

struct RotationCase {
  RotationKind kind;
  const char* message;
  const char* commandLine;
};

class RotationRequestTest : public testing::TestWithParam<RotationCase> {};

TEST_P(RotationRequestTest, StartsTheProgramWithTheAngle) {
  const RotationCase& c = GetParam();
  FakeSessions sessions;
  TakeCapturedDebugOutput();

  EXPECT_EQ(launcher::RequestRotationIn(sessions, "C:\\Svc\\", c.kind), 1);
  EXPECT_EQ(TakeCapturedDebugOutput(), std::vector<std::string>{c.message});
  EXPECT_EQ(sessions.tokenAskedFor, std::vector<std::uint32_t>{1});
  EXPECT_EQ(sessions.application, std::nullopt);
  EXPECT_EQ(sessions.command, c.commandLine);
  EXPECT_EQ(sessions.flags, 0x08000020u);
  EXPECT_EQ(sessions.tokensClosed, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RotationRequestTest,
    testing::Values(RotationCase{0, "set to be DMDO_DEFAULT", "\"C:\\Svc\\TurnDisplay.exe\" 0"},
                    RotationCase{1, "set to be DMDO_90", "\"C:\\Svc\\TurnDisplay.exe\" 90"},
                    RotationCase{2, "set to be DMDO_180", "\"C:\\Svc\\TurnDisplay.exe\" 180"},
                    RotationCase{3, "set to be DMDO_270", "\"C:\\Svc\\TurnDisplay.exe\" 270"}));

TEST(RotationRequest, OtherKindsDoNothing) {
  for (RotationKind kind : {4, -1, 90, 0x7FFFFFFF}) {
    FakeSessions sessions;
    TakeCapturedDebugOutput();
    EXPECT_EQ(launcher::RequestRotationIn(sessions, "C:\\Svc\\", kind), 0) << kind;
    EXPECT_TRUE(TakeCapturedDebugOutput().empty());
    EXPECT_TRUE(sessions.tokenAskedFor.empty());
    EXPECT_EQ(sessions.created, 0);
  }
}

TEST(RotationRequest, DirectoryWithBlanksIsQuoted) {
  FakeSessions sessions;
  launcher::RequestRotationIn(sessions, "C:\\Program Files\\Pivotra\\", DMDO_90);
  EXPECT_EQ(sessions.command, "\"C:\\Program Files\\Pivotra\\TurnDisplay.exe\" 90");
}

// What became of the program, started as whom and where: the user on the user's desktop when
// one is signed in at an unlocked console, else the service's own token on the secure desktop
// (the sign-in and lock screens). Its exit code once it has ended within the wait; one still
// running when the wait ends, at the bound or at the stop, is ended before it is let go.
TEST(RotationRequest, ReportsWhatBecameOfTheProgram) {
  using Kind = ProgramOutcome::Kind;
  using launcher::WaitEnd;
  constexpr const char* kUser = "WinSta0\\Default";
  constexpr const char* kSecure = "WinSta0\\Winlogon";
  constexpr launcher::ProgramWait kExited{WaitEnd::Exited, 0};
  struct Case {
    const char* name;
    std::uint32_t session = 1;
    bool userLoggedOn = true;
    std::optional<bool> locked = false;
    bool remote = false;
    bool serviceTokenGiven = true;
    bool processStarts = true;
    launcher::ProgramWait wait = kExited;
    bool endSucceeds = true;
    ProgramOutcome outcome{Kind::Ended, 0};
    const char* desktop = kUser;  // null: none created
    std::vector<std::string> lines = {};  // after the kind's message
  };
  const Case cases[] = {
      {"Turned"},
      {"Declined", 1, true, false, false, true, true, {WaitEnd::Exited, 7}, true, {Kind::Ended, 7}},
      {"LockUnknownIsTheUsers", 1, true, std::nullopt},
      {"NobodySignedIn", 1, false, std::nullopt, false, true, true, kExited, true, {Kind::Ended, 0},
       kSecure},
      {"Locked", 1, true, true, false, true, true, kExited, true, {Kind::Ended, 0}, kSecure},
      {"RemoteStaysTheUsers", 1, true, true, true},
      {"ServiceTokenRefused", 1, false, std::nullopt, false, false, true, kExited, true,
       {Kind::NotStarted, 0, 102, 1314}, nullptr, {"CreateProcessToUserSession failed"}},
      {"BlockedByPolicy", 1, true, false, false, true, false, kExited, true,
       {Kind::NotStarted, 0, 103, 1260}, kUser, {"CreateProcessToUserSession failed"}},
      {"SessionZero", 0, true, false, false, true, true, kExited, true, {Kind::NotStarted, 0, 101, 0},
       nullptr, {"CreateProcessToUserSession failed"}},
      {"NoConsoleAttached", 0xFFFFFFFF, true, false, false, true, true, kExited, true,
       {Kind::NotStarted, 0, 101, 0}, nullptr, {"CreateProcessToUserSession failed"}},
      {"StillRunningAtTheLimit", 1, true, false, false, true, true, {WaitEnd::Limit, 0}, true,
       {Kind::EndedAtLimit}, kUser, {"Ended TurnDisplay.exe: it still ran after 10 s"}},
      {"CannotBeEnded", 1, true, false, false, true, true, {WaitEnd::Limit, 0}, false,
       {Kind::EndedAtLimit}, kUser, {"TurnDisplay.exe could not be ended: error 5"}},
      {"TheServiceStops", 1, true, false, false, true, true, {WaitEnd::Stopping, 0}, true,
       {Kind::Stopped}, kUser, {"Ended TurnDisplay.exe: the service stops"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSessions sessions;
    sessions.consoleSession = c.session;
    sessions.userLoggedOn = c.userLoggedOn;
    sessions.locked = c.locked;
    sessions.remote = c.remote;
    sessions.serviceTokenGiven = c.serviceTokenGiven;
    sessions.processStarts = c.processStarts;
    sessions.wait = c.wait;
    sessions.endSucceeds = c.endSucceeds;
    TakeCapturedDebugOutput();
    EXPECT_EQ(launcher::RotateIn(sessions, "C:\\Svc\\", DMDO_180, launcher::kProgramWait),
              c.outcome);
    const bool started = c.outcome.kind != Kind::NotStarted;
    const bool asked = c.session != 0 && c.session != 0xFFFFFFFF;
    EXPECT_EQ(sessions.desktop, c.desktop ? std::optional<std::string>(c.desktop) : std::nullopt);
    if (sessions.created > 0) {
      EXPECT_EQ(sessions.serviceToken, std::string(c.desktop) == kSecure);
    }
    EXPECT_EQ(sessions.tokenAskedFor.size(), asked ? 1u : 0u);
    EXPECT_EQ(sessions.tokensClosed, sessions.tokensGiven);
    EXPECT_EQ(sessions.waitedFor, started ? std::optional(launcher::kProgramWait) : std::nullopt);
    EXPECT_EQ(sessions.ended, c.wait.end != WaitEnd::Exited && started ? 1 : 0);
    EXPECT_EQ(sessions.processesClosed, started ? 1 : 0);
    std::vector<std::string> lines{"set to be DMDO_180"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(TakeCapturedDebugOutput(), lines);
  }
}

TEST(RotationRequest, LockStateFromTheSessionFlags) {
  using launcher::LockedFromSessionFlags;
  EXPECT_EQ(LockedFromSessionFlags(0, false), true);
  EXPECT_EQ(LockedFromSessionFlags(1, false), false);
  EXPECT_EQ(LockedFromSessionFlags(0, true), false);  // Windows 7 reports them the other way
  EXPECT_EQ(LockedFromSessionFlags(1, true), true);
  EXPECT_EQ(LockedFromSessionFlags(-1, false), std::nullopt);
}

struct LaunchCase {
  const char* name;
  const char* application;
  const char* command;  // copied into a writable buffer; null stays null
  std::uint32_t session;
  bool userLoggedOn;
  bool processStarts;
  std::int32_t expected;
  bool tokenAsked;
  std::optional<std::string> passedApplication;
  std::optional<std::string> passedCommand;
};

class LaunchTest : public testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchTest, GivesItsResultCode) {
  const LaunchCase& c = GetParam();
  FakeSessions sessions;
  sessions.userLoggedOn = c.userLoggedOn;
  sessions.processStarts = c.processStarts;
  std::string buffer = c.command ? c.command : "";

  const std::int32_t code = launcher::LaunchInUserSession(
      sessions, c.session, c.application, c.command ? buffer.data() : nullptr);

  EXPECT_EQ(code, c.expected);
  EXPECT_EQ(sessions.tokenAskedFor.size(), c.tokenAsked ? 1u : 0u);
  if (c.tokenAsked) {
    EXPECT_EQ(sessions.tokenAskedFor[0], c.session);
  }
  EXPECT_EQ(sessions.tokensClosed, c.tokenAsked && c.userLoggedOn ? 1 : 0);
  if (sessions.created > 0) {
    EXPECT_EQ(sessions.application, c.passedApplication);
    EXPECT_EQ(sessions.command, c.passedCommand);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LaunchTest,
    testing::Values(
        LaunchCase{"Created", "-", "prog 90", 1, true, true, 0, true, std::nullopt, "prog 90"},
        LaunchCase{"ApplicationOnly", "C:\\prog.exe", "-", 1, true, true, 0, true,
                   "C:\\prog.exe", std::nullopt},
        LaunchCase{"Both", "C:\\prog.exe", "prog 90", 1, true, true, 0, true, "C:\\prog.exe",
                   "prog 90"},
        LaunchCase{"NothingGivenBeforeSessionIsLookedAt", "-", "-", 0, true, true, 100, false,
                   std::nullopt, std::nullopt},
        LaunchCase{"NullTextsAreNoneToo", nullptr, nullptr, 1, true, true, 100, false,
                   std::nullopt, std::nullopt},
        LaunchCase{"SessionZeroRefusedWithoutToken", "-", "prog 90", 0, true, true, 101, false,
                   std::nullopt, std::nullopt},
        LaunchCase{"NoUserLoggedOn", "-", "prog 90", 1, false, true, 102, true, std::nullopt,
                   std::nullopt},
        LaunchCase{"NoConsoleAttached", "-", "prog 90", 0xFFFFFFFF, false, true, 102, true,
                   std::nullopt, std::nullopt},
        LaunchCase{"CreationFails", "-", "prog 90", 1, true, false, 103, true, std::nullopt,
                   "prog 90"},
        // Only the exact one-character text means "none".
        LaunchCase{"DashIsCaseAndLengthExact", "--", "-", 2, true, true, 0, true, "--",
                   std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
