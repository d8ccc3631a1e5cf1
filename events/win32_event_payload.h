#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <optional>
#include <string>

// The 32-bit payload of an integer VARIANT (WMI hands a uint32 property over as VT_I4);
// nothing for strings, empty, null or any other kind.
std::optional<std::uint32_t> IntegerPayload(const VARIANT& value);

// The text of a string VARIANT in the ANSI code page; "" for any other kind.
std::string VariantText(const VARIANT& value);
