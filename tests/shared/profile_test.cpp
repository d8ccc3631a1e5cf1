// One table of settings-file cases, run against the real private-profile routines on Windows
// and against the native replacement, so the two cannot drift apart. The texts are in the form
// Windows writes: CR LF line ends, no blanks around "=", no blank lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "orientation/Profile.h"
#include "tests/support/TempDir.h"

namespace {

struct WriteCase {
  const char* name;
  const char* before;  // null: no file
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

const WriteCase kWriteCases[] = {
    {"CreatesFileAndSection", nullptr, "G-SensorCtrl", "GSensorLastOrientation", "2",
     "[G-SensorCtrl]\r\nGSensorLastOrientation=2\r\n"},
    {"EmptyFileGetsSection", "", "S", "a", "1", "[S]\r\na=1\r\n"},
    {"AppendsNewKeyAtEndOfSection", "[S]\r\na=1\r\n", "S", "b", "2", "[S]\r\na=1\r\nb=2\r\n"},
    {"ReplacesValueInPlace", "[S]\r\na=1\r\nb=2\r\nc=3\r\n", "S", "b", "9",
     "[S]\r\na=1\r\nb=9\r\nc=3\r\n"},
    {"AppendsBeforeNextSection", "[S]\r\na=1\r\n[T]\r\nb=2\r\n", "S", "c", "3",
     "[S]\r\na=1\r\nc=3\r\n[T]\r\nb=2\r\n"},
    {"AddsMissingSectionAtEnd", "[T]\r\nb=2\r\n", "S", "a", "1", "[T]\r\nb=2\r\n[S]\r\na=1\r\n"},
    {"MatchesIgnoringCaseAndKeepsSpelling", "[s]\r\nKEY=1\r\n", "S", "key", "5",
     "[s]\r\nKEY=5\r\n"},
    {"KeepsComments", "; note\r\n[S]\r\n;a=1\r\na=2\r\n", "S", "a", "3",
     "; note\r\n[S]\r\n;a=1\r\na=3\r\n"},
    {"EndsUnterminatedLastLine", "[S]\r\na=1", "S", "b", "2", "[S]\r\na=1\r\nb=2\r\n"},
    {"ReplacesFirstOfTwinKeys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3", "[S]\r\nk=3\r\nk=2\r\n"},
    {"LeavesOtherSectionsAlone", "[A]\r\nk=1\r\n[S]\r\nk=1\r\n[B]\r\nk=1\r\n", "S", "k", "7",
     "[A]\r\nk=1\r\n[S]\r\nk=7\r\n[B]\r\nk=1\r\n"},
};

struct ReadCase {
  const char* name;
  const char* content;  // null: no file
  const char* section;
  const char* key;
  int defaultValue;
  std::uint32_t expected;
};

const ReadCase kReadCases[] = {
    {"MissingFileGivesDefault", nullptr, "S", "k", 7, 7},
    {"MissingSectionGivesDefault", "[T]\r\nk=1\r\n", "S", "k", 7, 7},
    {"MissingKeyGivesDefault", "[S]\r\nj=1\r\n", "S", "k", 7, 7},
    {"KeyOfOtherSectionIsNotSeen", "[S]\r\nj=1\r\n[T]\r\nk=1\r\n", "S", "k", 7, 7},
    {"EmptyValueGivesDefault", "[S]\r\nk=\r\n", "S", "k", 7, 7},
    {"LineWithoutEqualsIsNoKey", "[S]\r\nk\r\n", "S", "k", 7, 7},
    {"CommentedKeyIsNoKey", "[S]\r\n;k=1\r\n", "S", "k", 7, 7},
    {"Decimal", "[S]\r\nk=12\r\n", "S", "k", 7, 12},
    {"Zero", "[S]\r\nk=0\r\n", "S", "k", 7, 0},
    {"BlanksAroundValue", "[S]\r\nk=  42  \r\n", "S", "k", 7, 42},
    {"HexadecimalPrefix", "[S]\r\nk=0x10\r\n", "S", "k", 7, 16},
    {"StopsAtFirstNonDigit", "[S]\r\nk=12abc\r\n", "S", "k", 7, 12},
    {"NoDigitsReadsZero", "[S]\r\nk=abc\r\n", "S", "k", 7, 0},
    {"LeadingZeroIsStillDecimal", "[S]\r\nk=010\r\n", "S", "k", 7, 10},
    {"LargestValue", "[S]\r\nk=4294967295\r\n", "S", "k", 7, 4294967295u},
    {"NegativeWraps", "[S]\r\nk=-5\r\n", "S", "k", 7, 4294967291u},
    {"QuotedValue", "[S]\r\nk=\"15\"\r\n", "S", "k", 7, 15},
    {"CaseInsensitiveNames", "[g-sensorctrl]\r\ngsensorlastorientation=4\r\n", "G-SensorCtrl",
     "GSensorLastOrientation", 0, 4},
    {"BlanksInHeaderAndKey", "[ S ]\r\n k =6\r\n", "S", "k", 7, 6},
    {"FirstOfTwinKeys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", 7, 1},
    {"LineFeedOnlyFile", "[S]\nj=1\nk=5", "S", "k", 7, 5},
};

class ProfileWrite : public testing::TestWithParam<WriteCase> {};
class ProfileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileWrite, ChangesOneLine) {
  const WriteCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("case.ini");
  if (c.before != nullptr) WriteFileBytes(path, c.before);

  EXPECT_TRUE(profile::WriteString(c.section, c.key, c.value, path.c_str()));
  EXPECT_EQ(ReadFileBytes(path), c.after);
}

TEST_P(ProfileRead, ReadsInteger) {
  const ReadCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.File("case.ini");
  if (c.content != nullptr) WriteFileBytes(path, c.content);

  EXPECT_EQ(profile::ReadInt(c.section, c.key, c.defaultValue, path.c_str()), c.expected);
}

std::string CaseName(const char* name) { return name; }

INSTANTIATE_TEST_SUITE_P(Cases, ProfileWrite, testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return CaseName(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Cases, ProfileRead, testing::ValuesIn(kReadCases),
                         [](const auto& info) { return CaseName(info.param.name); });

TEST(Profile, WriteThenReadRoundTrips) {
  TempDir dir;
  const std::string path = dir.File("round.ini");
  for (const char* value : {"0", "1", "61504", "4294967295"}) {
    ASSERT_TRUE(profile::WriteString("S", "k", value, path.c_str()));
    EXPECT_EQ(profile::ReadInt("S", "k", 7, path.c_str()), std::stoul(value));
  }
  EXPECT_EQ(ReadFileBytes(path), "[S]\r\nk=4294967295\r\n");
}

TEST(Profile, UnwritableDirectoryFails) {
  TempDir dir;
  const std::string path = dir.File("missing-directory") + "/case.ini";
  EXPECT_FALSE(profile::WriteString("S", "k", "1", path.c_str()));
  EXPECT_EQ(profile::ReadInt("S", "k", 7, path.c_str()), 7u);
}

#ifndef _WIN32
// The replacement promises more than Windows keeps: blank lines and the spacing of lines it
// does not change stay as they were.
TEST(PortableProfile, LeavesEveryOtherLineUntouched) {
  TempDir dir;
  const std::string path = dir.File("case.ini");
  WriteFileBytes(path, "; head\n\n[S]\r\na = 1\r\n\r\nb=2\r\n\r\n[T]\r\nc = 3\r\n");
  ASSERT_TRUE(profile::WriteString("S", "b", "5", path.c_str()));
  ASSERT_TRUE(profile::WriteString("S", "new", "6", path.c_str()));
  EXPECT_EQ(ReadFileBytes(path), "; head\n\n[S]\r\na = 1\r\n\r\nb=5\r\nnew=6\r\n\r\n[T]\r\nc = 3\r\n");
}

TEST(PortableProfile, BackslashesSeparateDirectories) {
  TempDir dir;
  const std::string windowsStyle = dir.Path() + "sub\\case.ini";
  const std::string hostDir = dir.Path() + "sub";
  ASSERT_TRUE(std::filesystem::create_directory(hostDir));
  ASSERT_TRUE(profile::WriteString("S", "k", "3", windowsStyle.c_str()));
  EXPECT_EQ(ReadFileBytes(hostDir + "/case.ini"), "[S]\r\nk=3\r\n");
}
#endif

}  // namespace
