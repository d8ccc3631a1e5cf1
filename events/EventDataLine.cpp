#include "events/EventDataLine.h"

#include "common/Format.h"

std::string EventDataLine(const std::string& text, std::uint32_t payload) {
  return FormatString("Pivotra: Data: Bstr=%s, UI32=%lu, BtnId=%d\n", text.c_str(),
                      static_cast<unsigned long>(payload), static_cast<int>(payload));
}
