#include <gtest/gtest.h>

#include <string>

#include "common/Bitness.h"
#include "common/Format.h"
#include "common/ModuleDirectory.h"
#include "common/portable_module.h"
#include "orientation/IniFile.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }

// Code page 932 (Shift JIS): lead bytes 0x81-0x9F and 0xE0-0xFC; trail bytes may be 0x5C.
bool ShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

struct CutCase {
  const char* path;
  bool withBackslash;
  LeadBytePredicate leadBytes;
  const char* expected;
};

class CutAtLastBackslashTest : public testing::TestWithParam<CutCase> {};

TEST_P(CutAtLastBackslashTest, Cuts) {
  const CutCase& c = GetParam();
  EXPECT_EQ(CutAtLastBackslash(c.path, c.withBackslash, c.leadBytes), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CutAtLastBackslashTest,
    testing::Values(CutCase{"C:\\A\\B\\svc.exe", true, NoLeadBytes, "C:\\A\\B\\"},
                    CutCase{"C:\\A\\B\\svc.exe", false, NoLeadBytes, "C:\\A\\B"},
                    CutCase{"svc.exe", true, NoLeadBytes, "svc.exe"},
                    CutCase{"svc.exe", false, NoLeadBytes, "svc.exe"},
                    CutCase{"", true, NoLeadBytes, ""},
                    CutCase{"\\svc.exe", true, NoLeadBytes, "\\"},
                    CutCase{"C:\\dir\\", false, NoLeadBytes, "C:\\dir"},
                    // U+8868 is 0x95 0x5C in Shift JIS: its trail byte is no backslash.
                    CutCase{"C:\\dir\\\x95\x5C.exe", true, ShiftJisLeadByte, "C:\\dir\\"},
                    CutCase{"C:\\\x95\x5C\\svc.exe", true, ShiftJisLeadByte, "C:\\\x95\x5C\\"},
                    CutCase{"C:\\\x95\x5C\\svc.exe", false, ShiftJisLeadByte, "C:\\\x95\x5C"},
                    // The same bytes in a single-byte code page: 0x5C is a backslash.
                    CutCase{"C:\\dir\\\x95\x5C.exe", true, NoLeadBytes, "C:\\dir\\\x95\x5C"},
                    // A lead byte at the very end has no trail byte to swallow.
                    CutCase{"C:\\dir\\\x95", true, ShiftJisLeadByte, "C:\\dir\\"}));

struct DirectoryCase {
  const char* directory;
  const char* expected;
};

class SetDirectoryTest : public testing::TestWithParam<DirectoryCase> {};

TEST_P(SetDirectoryTest, EndsInOneBackslash) {
  CIniFile file("GSensor_Setting.ini");
  EXPECT_EQ(file.SetDirectory(GetParam().directory), 1);
  EXPECT_EQ(file.m_directory, GetParam().expected);
  EXPECT_EQ(file.m_path, std::string(GetParam().expected) + "GSensor_Setting.ini");
}

INSTANTIATE_TEST_SUITE_P(Directories, SetDirectoryTest,
                         testing::Values(DirectoryCase{"D:\\cfg", "D:\\cfg\\"},
                                         DirectoryCase{"D:\\cfg\\", "D:\\cfg\\"},
                                         DirectoryCase{"", "\\"},
                                         // Only the last byte is looked at here.
                                         DirectoryCase{"D:\\\x95\x5C", "D:\\\x95\x5C"}));

TEST(IniFile, StartsInTheModuleDirectory) {
  SetPortableModuleFileName("C:\\Program Files\\Pivotra\\Pivotra.EXE");
  CIniFile named("GSensor_Setting.ini");
  EXPECT_EQ(named.m_directory, "C:\\Program Files\\Pivotra\\");
  EXPECT_EQ(named.m_fileName, "GSensor_Setting.ini");
  EXPECT_EQ(named.m_path, "C:\\Program Files\\Pivotra\\GSensor_Setting.ini");

  CIniFile unnamed;
  EXPECT_EQ(unnamed.m_fileName, "");
  EXPECT_EQ(unnamed.m_path, "C:\\Program Files\\Pivotra\\");

  EXPECT_EQ(unnamed.SetFileName("other.ini"), 1);
  EXPECT_EQ(unnamed.m_path, "C:\\Program Files\\Pivotra\\other.ini");
  EXPECT_EQ(unnamed.SetDirectory(nullptr), 1);
  EXPECT_EQ(unnamed.m_path, "C:\\Program Files\\Pivotra\\other.ini");
  SetPortableModuleFileName("");
}

struct BitnessCase {
  bool processIs64Bit;
  bool queried;
  bool underWow64;
  bool expected;
};

class BitnessTest : public testing::TestWithParam<BitnessCase> {};

TEST_P(BitnessTest, Decides) {
  const BitnessCase& c = GetParam();
  EXPECT_EQ(DecideWindowsIs64Bit(c.processIs64Bit, c.queried, c.underWow64), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, BitnessTest,
                         testing::Values(BitnessCase{false, true, true, true},     // WOW64
                                         BitnessCase{false, true, false, false},   // 32-bit
                                         BitnessCase{false, false, true, false},   // failed
                                         BitnessCase{false, false, false, false},  // failed
                                         BitnessCase{true, true, false, true},     // 64-bit
                                         BitnessCase{true, false, false, true}));

TEST(Format, GrowsToFitAndKeepsWholeNumbers) {
  const std::string longText(5000, 'x');
  EXPECT_EQ(FormatString("%s!", longText.c_str()), longText + "!");
  EXPECT_EQ(FormatString("%lu", 4294967295ul), "4294967295");
  EXPECT_EQ(FormatString("0x%X", 0x80041010u), "0x80041010");
  EXPECT_EQ(FormatString("0x%X", 0u), "0x0");
  EXPECT_EQ(FormatString("0x%08X", 0x2u), "0x00000002");
  EXPECT_EQ(FormatString("%s", ""), "");
}

}  // namespace
