#include "events/win32_event_payload.h"

std::optional<std::uint32_t> IntegerPayload(const VARIANT& value) {
  // Each integer kind is widened by its own type first, so that a negative small integer
  // gives the same 32 bits as the same value in an I4.
  switch (V_VT(&value)) {
    case VT_I1: return static_cast<std::uint32_t>(static_cast<std::int32_t>(V_I1(&value)));
    case VT_UI1: return V_UI1(&value);
    case VT_I2: return static_cast<std::uint32_t>(static_cast<std::int32_t>(V_I2(&value)));
    case VT_UI2: return V_UI2(&value);
    case VT_I4: return static_cast<std::uint32_t>(V_I4(&value));
    case VT_UI4: return V_UI4(&value);
    case VT_INT: return static_cast<std::uint32_t>(V_INT(&value));
    case VT_UINT: return V_UINT(&value);
    case VT_I8: return static_cast<std::uint32_t>(V_I8(&value));
    case VT_UI8: return static_cast<std::uint32_t>(V_UI8(&value));
    default: return std::nullopt;
  }
}

std::string VariantText(const VARIANT& value) {
  if (V_VT(&value) != VT_BSTR || V_BSTR(&value) == nullptr) return std::string();
  const BSTR text = V_BSTR(&value);
  const int wideLength = static_cast<int>(::SysStringLen(text));
  if (wideLength == 0) return std::string();
  const int length =
      ::WideCharToMultiByte(CP_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, wideLength, narrow.data(), length, nullptr, nullptr);
  return narrow;
}
