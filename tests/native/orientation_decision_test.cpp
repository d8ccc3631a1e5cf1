#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "orientation/OrientationDecision.h"

namespace {

struct DecodeCase {
  std::uint8_t byte;
  const char* word;
  OrientationCode code;
  RotationKind kind;
  const char* testFlag;
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, ReadsBitsOneAndTwo) {
  const DecodeCase& c = GetParam();
  const OrientationRow& row = DecodeOrientation(c.byte);
  EXPECT_STREQ(row.word, c.word);
  EXPECT_EQ(row.code, c.code);
  EXPECT_EQ(row.kind, c.kind);
  EXPECT_STREQ(row.testFlag, c.testFlag);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DecodeTest,
    testing::Values(
        DecodeCase{0x02, "Up", OrientationCode::Up, DMDO_180, "OrientationTest_Up"},
        DecodeCase{0x03, "Up", OrientationCode::Up, DMDO_180, "OrientationTest_Up"},
        DecodeCase{0x00, "Down", OrientationCode::Down, DMDO_DEFAULT, "OrientationTest_Down"},
        DecodeCase{0x01, "Down", OrientationCode::Down, DMDO_DEFAULT, "OrientationTest_Down"},
        DecodeCase{0x04, "Right", OrientationCode::Right, DMDO_270, "OrientationTest_Right"},
        DecodeCase{0x06, "Left", OrientationCode::Left, DMDO_90, "OrientationTest_Left"},
        DecodeCase{0xFF, "Left", OrientationCode::Left, DMDO_90, "OrientationTest_Left"},
        DecodeCase{0xF9, "Down", OrientationCode::Down, DMDO_DEFAULT, "OrientationTest_Down"}));

TEST(Decode, OnlyBitsOneAndTwoCount) {
  for (int byte = 0; byte < 256; ++byte) {
    const auto masked = static_cast<std::uint8_t>(byte & 6);
    EXPECT_EQ(&DecodeOrientation(static_cast<std::uint8_t>(byte)), &DecodeOrientation(masked))
        << "byte " << byte;
    EXPECT_EQ(DecodeOrientation(static_cast<std::uint8_t>(byte)).bits, masked);
  }
}

struct DecisionCase {
  const char* name;
  std::uint32_t stored;
  OrientationCode decoded;
  std::uint32_t count;
  std::uint32_t threshold;
  RotationDecision expected;
};

class DecisionTest : public testing::TestWithParam<DecisionCase> {};

TEST_P(DecisionTest, Decides) {
  const DecisionCase& c = GetParam();
  EXPECT_EQ(DecideRotation(c.stored, c.decoded, c.count, c.threshold), c.expected);
}

constexpr auto kStored = RotationDecision::AlreadyStored;
constexpr auto kWait = RotationDecision::NotEnoughEvents;
constexpr auto kRotate = RotationDecision::Rotate;

INSTANTIATE_TEST_SUITE_P(
    Rules, DecisionTest,
    testing::Values(
        DecisionCase{"SameOrientationNeverRotates", 2, OrientationCode::Down, 100, 0, kStored},
        DecisionCase{"SameEvenAboveThreshold", 4, OrientationCode::Left, 5, 3, kStored},
        DecisionCase{"ThresholdZeroRotatesAtOnce", 2, OrientationCode::Left, 1, 0, kRotate},
        DecisionCase{"ThresholdOneRotatesAtOnce", 2, OrientationCode::Up, 1, 1, kRotate},
        DecisionCase{"BelowThresholdWaits", 2, OrientationCode::Up, 2, 3, kWait},
        DecisionCase{"AtThresholdRotates", 2, OrientationCode::Up, 3, 3, kRotate},
        DecisionCase{"AboveThresholdRotates", 2, OrientationCode::Up, 4, 3, kRotate},
        DecisionCase{"NothingStoredRotates", 0, OrientationCode::Down, 1, 0, kRotate},
        DecisionCase{"OutOfRangeStoredRotates", 7, OrientationCode::Right, 1, 1, kRotate},
        DecisionCase{"HugeThresholdComparesUnsigned", 2, OrientationCode::Up, 0x7FFFFFFF,
                     0x80000000u, kWait}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TestFlags, ExactlyOneIsSetInWritingOrder) {
  const OrientationCode codes[] = {OrientationCode::Up, OrientationCode::Down,
                                   OrientationCode::Left, OrientationCode::Right};
  for (std::size_t reached = 0; reached < 4; ++reached) {
    const auto flags = TestFlagsFor(codes[reached]);
    EXPECT_STREQ(flags[0].key, "OrientationTest_Up");
    EXPECT_STREQ(flags[1].key, "OrientationTest_Down");
    EXPECT_STREQ(flags[2].key, "OrientationTest_Left");
    EXPECT_STREQ(flags[3].key, "OrientationTest_Right");
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(flags[i].value, i == reached ? 1u : 0u);
  }
}

}  // namespace
