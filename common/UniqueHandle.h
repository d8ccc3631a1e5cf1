#pragma once

#include <windows.h>
#include <oleauto.h>
#include <winsvc.h>

// One move-only owner per kind of handle, each closed by its own call. Two invalid values
// matter on Win32: NULL (threads, processes, tokens, keys, services, event sources) and
// INVALID_HANDLE_VALUE (files, pipes, find handles).
template <typename Traits>
class UniqueResource {
 public:
  using pointer = typename Traits::pointer;

  UniqueResource() noexcept = default;
  explicit UniqueResource(pointer value) noexcept : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  pointer get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

  pointer release() noexcept {
    pointer value = value_;
    value_ = Traits::invalid();
    return value;
  }

  void reset(pointer value = Traits::invalid()) noexcept {
    if (value_ != Traits::invalid()) Traits::close(value_);
    value_ = value;
  }

  // For out-parameters: closes what is held and hands out the slot.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::invalid();
};

namespace handle_traits {

struct Handle {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer value) noexcept { ::CloseHandle(value); }
};

struct FileHandle {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(pointer value) noexcept { ::CloseHandle(value); }
};

struct RegistryKey {
  using pointer = HKEY;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer value) noexcept { ::RegCloseKey(value); }
};

struct ServiceHandle {
  using pointer = SC_HANDLE;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer value) noexcept { ::CloseServiceHandle(value); }
};

struct EventSource {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer value) noexcept { ::DeregisterEventSource(value); }
};

struct PowerNotification {
  using pointer = HPOWERNOTIFY;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer value) noexcept { ::UnregisterPowerSettingNotification(value); }
};

struct Bstr {
  using pointer = BSTR;
  static pointer invalid() noexcept { return nullptr; }
  static void close(pointer value) noexcept { ::SysFreeString(value); }
};

}  // namespace handle_traits

using unique_handle = UniqueResource<handle_traits::Handle>;
using unique_file_handle = UniqueResource<handle_traits::FileHandle>;
using unique_hkey = UniqueResource<handle_traits::RegistryKey>;
using unique_schandle = UniqueResource<handle_traits::ServiceHandle>;
using unique_event_source = UniqueResource<handle_traits::EventSource>;
using unique_bstr = UniqueResource<handle_traits::Bstr>;
using unique_power_notification = UniqueResource<handle_traits::PowerNotification>;
