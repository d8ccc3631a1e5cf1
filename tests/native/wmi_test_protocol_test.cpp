// What the event tool and the test WMI provider say to each other: the words of the tool's
// command line, the request lines and the report.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "tools/wmi-test-provider/Protocol.h"

namespace {

using wmitest::Request;

struct WordCase {
  const char* word;
  std::optional<std::uint32_t> data;
};

class EventWordTest : public testing::TestWithParam<WordCase> {};

TEST_P(EventWordTest, NamesAnOrientationOrARawValue) {
  EXPECT_EQ(wmitest::ParseEventData(GetParam().word), GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(
    Words, EventWordTest,
    testing::Values(
        // The orientation sits in bits 1 and 2 of "Data".
        WordCase{"up", 0x02}, WordCase{"down", 0x00}, WordCase{"right", 0x04},
        WordCase{"left", 0x06}, WordCase{"258", 258}, WordCase{"0x80000006", 0x80000006},
        WordCase{"0XfF", 0xFF}, WordCase{"4294967295", 0xFFFFFFFF},
        WordCase{"4294967296", std::nullopt}, WordCase{"0x100000000", std::nullopt},
        WordCase{"Left", std::nullopt}, WordCase{"6x", std::nullopt}, WordCase{"0x", std::nullopt},
        WordCase{"-1", std::nullopt}, WordCase{"", std::nullopt}));

TEST(Steps, EachNameGivesItsStepAndItsUsualCode) {
  const struct {
    const char* name;
    wmitest::Step step;
    std::uint32_t code;
  } steps[] = {
      {"locator", wmitest::Step::Locator, 0x80040154},
      {"connect", wmitest::Step::Connect, 0x80041003},
      {"blanket", wmitest::Step::Blanket, 0x80070005},
      {"query", wmitest::Step::Query, 0x80041010},
      {"none", wmitest::Step::None, 0},
  };
  for (const auto& row : steps) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(wmitest::ParseStep(row.name), row.step);
    EXPECT_STREQ(wmitest::StepName(row.step), row.name);
    EXPECT_EQ(wmitest::DefaultFailure(row.step), row.code);
  }
  EXPECT_EQ(wmitest::ParseStep("Query"), std::nullopt);
}

TEST(Requests, SurviveTheirLine) {
  Request deliver;
  deliver.kind = Request::Kind::Deliver;
  deliver.batches = 20;
  deliver.data = {6, 0x80000006};
  Request status;
  status.kind = Request::Kind::Status;
  status.statusFlags = 0;
  status.statusResult = 0x80041032;
  Request end;
  end.kind = Request::Kind::End;
  end.statusResult = 0x80041033;
  Request drop;
  drop.kind = Request::Kind::Drop;
  for (const Request& request : {Request{}, deliver, status, end, drop}) {
    const std::string line = wmitest::FormatRequest(request);
    ASSERT_EQ(line.back(), '\n');
    const auto parsed = wmitest::ParseRequest(line);
    ASSERT_TRUE(parsed) << line;
    EXPECT_EQ(parsed->kind, request.kind);
    EXPECT_EQ(parsed->batches, request.batches);
    EXPECT_EQ(parsed->data, request.data);
    EXPECT_EQ(parsed->statusFlags, request.statusFlags);
    EXPECT_EQ(parsed->statusResult, request.statusResult);
  }
}

TEST(Requests, MalformedLinesAreRefused) {
  for (const char* line : {"", "report now", "deliver 0 6", "deliver 1", "deliver 1 left",
                           "status 0", "status x 0", "raise 6", "end", "end x", "drop now"}) {
    EXPECT_EQ(wmitest::ParseRequest(line), std::nullopt) << line;
  }
}

// The provider takes WMI's place for the whole machine: only in a Wine prefix.
TEST(LocatorChange, IsRefusedOutsideWineWithItsReason) {
  EXPECT_EQ(wmitest::LocatorChangeRefusal(true), std::nullopt);
  const auto refusal = wmitest::LocatorChangeRefusal(false);
  ASSERT_TRUE(refusal);
  EXPECT_NE(refusal->find("not Wine"), std::string::npos) << *refusal;
}

TEST(Reports, SurviveTheirText) {
  wmitest::Report report;
  report.processId = 1234;
  report.locatorRefs = 1;
  report.servicesRefs = -1;  // something gave back a reference it never had
  report.eventRefs = 3;
  report.threadsStarted = 300;
  report.threadsEnded = 299;
  report.subscribed = true;
  report.handler = static_cast<std::uintptr_t>(0xC98950);
  report.journal = {"CreateInstance(IWbemLocator) -> 0x0", "locator released"};

  const std::string text = wmitest::FormatReport(report);
  EXPECT_EQ(text,
            "ok\nprocess 1234\nrefs locator=1 services=-1 events=3\n"
            "threads started=300 ended=299\nsubscribed yes\n"
            "handler 0xC98950\njournal CreateInstance(IWbemLocator) -> 0x0\n"
            "journal locator released\n");
  const auto parsed = wmitest::ParseReport(text);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->processId, report.processId);
  EXPECT_EQ(parsed->locatorRefs, report.locatorRefs);
  EXPECT_EQ(parsed->servicesRefs, report.servicesRefs);
  EXPECT_EQ(parsed->eventRefs, report.eventRefs);
  EXPECT_EQ(parsed->threadsStarted, report.threadsStarted);
  EXPECT_EQ(parsed->threadsEnded, report.threadsEnded);
  EXPECT_EQ(parsed->subscribed, report.subscribed);
  EXPECT_EQ(parsed->handler, report.handler);
  EXPECT_EQ(parsed->journal, report.journal);

  EXPECT_EQ(wmitest::ParseReport("error: no subscription\n"), std::nullopt);
  EXPECT_EQ(wmitest::ParseReport(text.substr(0, text.find("subscribed"))), std::nullopt);
}

}  // namespace
