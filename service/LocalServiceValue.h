#pragma once

#include <cstdint>

// The mode decision's read of the AppID's "LocalService" value. Only its presence counts; its
// text is never looked at.
namespace local_service {

inline constexpr std::uint32_t kBufferSize = 260;

// Registry value types and results, as the platform numbers them.
inline constexpr std::uint32_t kString = 1;         // REG_SZ
inline constexpr std::uint32_t kExpandString = 2;   // REG_EXPAND_SZ
inline constexpr std::uint32_t kMultiString = 7;    // REG_MULTI_SZ
inline constexpr std::int32_t kSuccess = 0;         // ERROR_SUCCESS

// Whether a read with this result, type and length into a buffer of kBufferSize bytes counts:
// the value exists, fits, and is empty (of any type), a string whose last byte is zero, or a
// multi-string that ends in two zero bytes or is a single zero byte.
bool ReadSucceeded(std::int32_t result, std::uint32_t type, const unsigned char* data,
                   std::uint32_t length);

}  // namespace local_service
