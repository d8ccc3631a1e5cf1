#include "service/LocalServiceValue.h"

namespace local_service {

bool ReadSucceeded(std::int32_t result, std::uint32_t type, const unsigned char* data,
                   std::uint32_t length) {
  // A value too long for the buffer comes back as ERROR_MORE_DATA.
  if (result != kSuccess || length > kBufferSize) return false;
  if (length == 0) return true;
  switch (type) {
    case kString:
    case kExpandString:
      return data[length - 1] == 0;
    case kMultiString:
      return length == 1 ? data[0] == 0 : data[length - 2] == 0 && data[length - 1] == 0;
    default:
      return false;
  }
}

}  // namespace local_service
