// The "LocalService" read rule on any result, type and value, the value in a buffer of exactly
// its length, so that a read outside it is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "service/LocalServiceValue.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto result = input.ConsumeBool() ? local_service::kSuccess : input.ConsumeIntegral<std::int32_t>();
  const auto type = input.ConsumeIntegralInRange<std::uint32_t>(0, 11);
  const auto length = input.ConsumeIntegralInRange<std::uint32_t>(0, 300);
  std::vector<unsigned char> value = input.ConsumeBytes<unsigned char>(length);
  value.resize(length);
  const bool read = local_service::ReadSucceeded(result, type, length ? value.data() : nullptr, length);
  Require(!read || (result == local_service::kSuccess && length <= local_service::kBufferSize),
          "only a successful read that fits the buffer counts");
  Require(!read || length == 0 || value[length - 1] == 0, "a value that counts ends in a zero");
  return 0;
}
