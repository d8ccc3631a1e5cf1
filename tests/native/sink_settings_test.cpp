#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/portable_debug_output.h"
#include "common/portable_module.h"
#include "orientation/SettingsFile.h"
#include "orientation/SinkSettings.h"
#include "tests/support/FakeSink.h"
#include "tests/support/SettingsTexts.h"
#include "tests/support/TempDir.h"

namespace {

class SinkSettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    // The settings file lies beside the executable: give the module a Windows-style path in
    // the test directory (the replacement profile routines take backslashes as separators).
    std::string directory = dir.Path();
    directory.pop_back();
    SetPortableModuleFileName(directory + "\\Pivotra.EXE");
    TakeCapturedDebugOutput();
  }
  void TearDown() override { SetPortableModuleFileName(""); }

  std::string SettingsPath() const { return dir.File(settings::kFileName); }

  TempDir dir;
};

TEST_F(SinkSettingsTest, FirstStartWritesTheDefaultsInOrder) {
  CIniFile(settings::kFileName).WriteInt(settings::kSection, settings::kLastOrientation, 2);
  FakeSink sink;
  LoadSinkSettings(sink);

  EXPECT_EQ(ReadFileBytes(SettingsPath()),
            kSettingsAfterFirstStart);
  EXPECT_EQ(sink.m_portBase, 61504u);
  EXPECT_EQ(sink.m_gSensorDevice, 153u);
  EXPECT_EQ(sink.m_accessTimeInterval, 3000u);
  EXPECT_EQ(sink.m_ioCommandDelay, 1u);
  EXPECT_EQ(sink.m_ioActiveCommandDelay, 1u);
  EXPECT_EQ(sink.m_activeRotationCount, 0u);
  EXPECT_EQ(sink.m_driverReady, 1u);
  // The sink's file is the same as g_iniFile's, addressed by its whole path.
  EXPECT_EQ(sink.m_iniFile.m_path, CIniFile(settings::kFileName).m_path);
  EXPECT_EQ(sink.m_iniFile.m_fileName, "");
}

TEST_F(SinkSettingsTest, StoredValuesAreKeptAndZerosReplaced) {
  WriteFileBytes(SettingsPath(),
                 "[G-SensorCtrl]\r\nPortBase=0\r\nG_SensorDevice=7\r\n"
                 "GSensorAccessTimeInterval=junk\r\nGSensor_Active_Rotation_Count=3\r\n");
  FakeSink sink;
  LoadSinkSettings(sink);

  EXPECT_EQ(sink.m_portBase, 61504u);
  EXPECT_EQ(sink.m_gSensorDevice, 7u);
  EXPECT_EQ(sink.m_accessTimeInterval, 3000u);
  EXPECT_EQ(sink.m_activeRotationCount, 3u);
  EXPECT_EQ(ReadFileBytes(SettingsPath()),
            "[G-SensorCtrl]\r\nPortBase=61504\r\nG_SensorDevice=7\r\n"
            "GSensorAccessTimeInterval=3000\r\nGSensor_Active_Rotation_Count=3\r\n"
            "GSensorIOCommand_Delay=1\r\nGSensorIO_Active_Command_Delay=1\r\n");
}

// An orientation still pending from the last run survives the restart; one the screen is taken
// to show after it (every start stores Down), or no orientation, is none.
TEST_F(SinkSettingsTest, APendingOrientationSurvivesARestart) {
  struct Row {
    const char* pending;  // the line in the file, or null for none
    std::uint32_t loaded;
    const char* written;  // what the file holds afterwards, or null for no such key
  };
  const Row rows[] = {{"4", 4, "4"}, {"2", 0, "0"}, {"9", 0, "0"}, {nullptr, 0, nullptr}};
  for (const Row& row : rows) {
    std::string text = "[G-SensorCtrl]\r\nGSensorLastOrientation=2\r\n";
    if (row.pending) text += std::string("GSensorPendingOrientation=") + row.pending + "\r\n";
    WriteFileBytes(SettingsPath(), text);
    FakeSink sink;
    LoadSinkSettings(sink);
    EXPECT_EQ(sink.m_pendingOrientation, row.loaded) << (row.pending ? row.pending : "none");
    const std::string after = ReadFileBytes(SettingsPath());
    const std::string line = std::string("GSensorPendingOrientation=") + (row.written ? row.written : "");
    EXPECT_EQ(after.find(line) != std::string::npos, row.written != nullptr) << after;
  }
}

TEST_F(SinkSettingsTest, LogsTheBitnessBeforeItIsReady) {
  FakeSink sink;
  LoadSinkSettings(sink);
  // A native test binary is 64-bit, which counts as 64-bit Windows.
  EXPECT_EQ(sink.m_is64BitWindows, sizeof(void*) == 8 ? 1u : 0u);
  EXPECT_EQ(TakeCapturedDebugOutput(),
            std::vector<std::string>{sizeof(void*) == 8 ? "Running Windows is 64-bit"
                                                        : "Running Windows is 32-bit"});
}

TEST_F(SinkSettingsTest, UnwritableFileKeepsTheDefaultsInMemory) {
  SetPortableModuleFileName(dir.Path() + "missing\\Pivotra.EXE");
  FakeSink sink;
  LoadSinkSettings(sink);
  EXPECT_EQ(sink.m_portBase, 61504u);
  EXPECT_EQ(sink.m_accessTimeInterval, 3000u);
  EXPECT_EQ(sink.m_driverReady, 1u);
  EXPECT_FALSE(FileExists(dir.Path() + "missing"));
}

TEST_F(SinkSettingsTest, WriteIntStoresUnsignedDecimal) {
  CIniFile file(settings::kFileName);
  EXPECT_TRUE(file.WriteInt(settings::kSection, "Big", 4294967295u));
  EXPECT_TRUE(file.WriteInt(settings::kSection, "Hex", 0xF040));
  EXPECT_EQ(ReadFileBytes(SettingsPath()), "[G-SensorCtrl]\r\nBig=4294967295\r\nHex=61504\r\n");
  EXPECT_EQ(file.GetInt(settings::kSection, "Big", 0), 4294967295u);
}

}  // namespace
