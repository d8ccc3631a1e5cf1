#include <gtest/gtest.h>

#include <cstdint>

#include "events/EventDataLine.h"

namespace {

struct DataCase {
  std::uint32_t payload;
  std::uint8_t byte;
  const char* line;
};

class EventDataLineTest : public testing::TestWithParam<DataCase> {};

TEST_P(EventDataLineTest, KeepsTheLowByteAndShowsBothReadings) {
  const DataCase& c = GetParam();
  EXPECT_EQ(EventByteOf(c.payload), c.byte);
  EXPECT_EQ(EventDataLine("", c.payload), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, EventDataLineTest,
    testing::Values(
        DataCase{0x102, 0x02, "Pivotra: Data: Bstr=, UI32=258, BtnId=258\n"},
        DataCase{0x80000006, 0x06, "Pivotra: Data: Bstr=, UI32=2147483654, BtnId=-2147483642\n"},
        DataCase{0xFFFFFFFF, 0xFF, "Pivotra: Data: Bstr=, UI32=4294967295, BtnId=-1\n"},
        DataCase{0, 0, "Pivotra: Data: Bstr=, UI32=0, BtnId=0\n"}));

TEST(EventDataLine, ShowsTheValuesText) {
  EXPECT_EQ(EventDataLine("6", 6), "Pivotra: Data: Bstr=6, UI32=6, BtnId=6\n");
}

}  // namespace
