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
    explicit Token(FakeSessions* owner) : owner(owner) {}
    Token(Token&& other) noexcept : owner(other.owner) { other.owner = nullptr; }
    Token(const Token&) = delete;
    ~Token() {
      if (owner != nullptr) ++owner->tokensClosed;
    }
    explicit operator bool() const { return owner != nullptr; }
    FakeSessions* owner;
  };

  // A started program, waited for through its owner; closed when the last owner goes.
  using Process = std::shared_ptr<FakeSessions>;

  std::uint32_t ActiveConsoleSessionId() { return consoleSession; }

  Token QueryUserToken(std::uint32_t sessionId) {
    tokenAskedFor.push_back(sessionId);
    return Token(userLoggedOn ? this : nullptr);
  }

  Process CreateProcessAsUser(const Token& token, const char* applicationName, char* commandLine,
                              std::uint32_t creationFlags) {
    EXPECT_TRUE(static_cast<bool>(token));
    EXPECT_EQ(tokensClosed, 0) << "the token must live until the process is created";
    application = applicationName ? std::optional<std::string>(applicationName) : std::nullopt;
    command = commandLine ? std::optional<std::string>(commandLine) : std::nullopt;
    flags = creationFlags;
    ++created;
    if (!processStarts) return nullptr;
    return Process(this, [](FakeSessions* sessions) { ++sessions->processesClosed; });
  }

  std::optional<std::uint32_t> AwaitExit(const Process& process, std::chrono::milliseconds bound) {
    EXPECT_TRUE(static_cast<bool>(process));
    EXPECT_EQ(processesClosed, 0) << "the process must be waited for before it is let go";
    waitedFor = bound;
    return exitCode;
  }

  std::uint32_t consoleSession = 1;
  bool userLoggedOn = true;
  bool processStarts = true;
  std::optional<std::uint32_t> exitCode = 0;  // none: still running at the bound

  std::vector<std::uint32_t> tokenAskedFor;
  int tokensClosed = 0;
  int created = 0;
  int processesClosed = 0;
  std::optional<std::chrono::milliseconds> waitedFor;
  std::optional<std::string> application;
  std::optional<std::string> command;
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

// What became of the program: its exit code once it has ended within the wait, or why there is
// none. A start that fails is logged and still counts as a request.
TEST(RotationRequest, ReportsWhatBecameOfTheProgram) {
  using Kind = ProgramOutcome::Kind;
  struct Case {
    bool userLoggedOn;
    bool processStarts;
    std::uint32_t session;
    std::optional<std::uint32_t> exitCode;
    ProgramOutcome outcome;
  };
  const Case cases[] = {
      {true, true, 1, 0, {Kind::Ended, 0}},
      {true, true, 1, 7, {Kind::Ended, 7}},
      {true, true, 1, std::nullopt, {Kind::EndedAtLimit, 0}},
      {false, true, 1, 0, {Kind::NotStarted, 0}},
      {true, false, 1, 0, {Kind::NotStarted, 0}},
      {true, true, 0, 0, {Kind::NotStarted, 0}},
      {false, true, 0xFFFFFFFF, 0, {Kind::NotStarted, 0}},
  };
  for (const Case& c : cases) {
    FakeSessions sessions;
    sessions.userLoggedOn = c.userLoggedOn;
    sessions.processStarts = c.processStarts;
    sessions.consoleSession = c.session;
    sessions.exitCode = c.exitCode;
    TakeCapturedDebugOutput();
    EXPECT_EQ(launcher::RotateIn(sessions, "C:\\Svc\\", DMDO_180, launcher::kProgramWait),
              c.outcome);
    const bool started = c.outcome.kind != Kind::NotStarted;
    EXPECT_EQ(sessions.waitedFor, started ? std::optional(launcher::kProgramWait) : std::nullopt);
    EXPECT_EQ(sessions.processesClosed, started ? 1 : 0);
    std::vector<std::string> lines{"set to be DMDO_180"};
    if (!started) lines.push_back("CreateProcessToUserSession failed");
    EXPECT_EQ(TakeCapturedDebugOutput(), lines);
    sessions.tokensClosed = sessions.processesClosed = 0;
    EXPECT_EQ(launcher::RequestRotationIn(sessions, "C:\\Svc\\", DMDO_180), 1);
  }
  TakeCapturedDebugOutput();
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
