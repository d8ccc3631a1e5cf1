// The test WMI provider's protocol: any request line and any report reply. What parses is
// written back in a form that parses to the same thing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/FuzzCheck.h"
#include "tools/wmi-test-provider/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto request = wmitest::ParseRequest(text)) {
    const std::string line = wmitest::FormatRequest(*request);
    const auto again = wmitest::ParseRequest(line);
    Require(again.has_value(), "a request written back parses");
    Require(wmitest::FormatRequest(*again) == line, "a request written back parses the same");
  }
  if (const auto report = wmitest::ParseReport(text)) {
    const std::string reply = wmitest::FormatReport(*report);
    const auto again = wmitest::ParseReport(reply);
    Require(again.has_value(), "a report written back parses");
    Require(wmitest::FormatReport(*again) == reply, "a report written back parses the same");
  }
  if (const auto event = wmitest::ParseEventData(text))
    Require(wmitest::ParseNumber(std::to_string(*event)) == event, "an event's value reads back");
  wmitest::ParseStep(text);
  return 0;
}
