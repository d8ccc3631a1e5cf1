#pragma once

#include <windows.h>
#include <oleauto.h>

// Owns a VARIANT: starts empty, VariantClear on reset and destruction.
class unique_variant {
 public:
  unique_variant() noexcept { ::VariantInit(&value_); }
  ~unique_variant() { reset(); }

  unique_variant(unique_variant&& other) noexcept : value_(other.value_) {
    ::VariantInit(&other.value_);
  }
  unique_variant& operator=(unique_variant&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = other.value_;
      ::VariantInit(&other.value_);
    }
    return *this;
  }
  unique_variant(const unique_variant&) = delete;
  unique_variant& operator=(const unique_variant&) = delete;

  const VARIANT& get() const noexcept { return value_; }

  // VariantClear's result: only a VARIANT of an unknown or locked kind fails to clear.
  HRESULT reset() noexcept { return ::VariantClear(&value_); }

  // For out-parameters: clears what is held and hands out the VARIANT to fill.
  VARIANT* put() noexcept {
    reset();
    return &value_;
  }

 private:
  VARIANT value_;
};
