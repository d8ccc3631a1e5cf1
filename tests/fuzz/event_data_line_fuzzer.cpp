// The diagnostic line of an event: any text of the value and any payload. The text is shown as
// it is, up to a zero, and never read as a format.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "events/EventDataLine.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto payload = input.ConsumeIntegral<std::uint32_t>();
  const std::string text = input.ConsumeRemainingBytesAsString();
  const std::string shown = text.substr(0, text.find('\0'));
  Require(EventDataLine(text, payload) ==
              "Pivotra: Data: Bstr=" + shown + ", UI32=" + std::to_string(payload) +
                  ", BtnId=" + std::to_string(static_cast<std::int32_t>(payload)) + "\n",
          "the line shows the text and both readings of the payload");
  Require(EventByteOf(payload) == (payload & 0xFF), "the event byte is the low byte");
  return 0;
}
