#pragma once

#include <objbase.h>

// Joins a COM apartment for the life of the object; CoUninitialize only after a successful join.
class ComScope {
 public:
  explicit ComScope(DWORD apartment) noexcept : result_(::CoInitializeEx(nullptr, apartment)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

  HRESULT result() const noexcept { return result_; }
  bool joined() const noexcept { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};
