#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <atomic>
#include <string>

#include "tools/wmi-test-provider/ProviderState.h"

// What the provider's COM objects share: the journal they write and the count of references.
namespace wmitest {

// No exception may leave a COM method: a journal line that cannot be built is lost, and the
// call goes on as if it had been written.
template <typename MakeLine>
inline void Journal(MakeLine makeLine) noexcept {
  try {
    Provider::Instance().Note(makeLine());
  } catch (...) {
  }
}

// One object's reference count, mirrored in the provider's count for its kind; the journal
// notes when the object goes.
class ObjectCount {
 public:
  ObjectCount(std::atomic<long>& kindRefs, const char* goneLine)
      : kindRefs_(kindRefs), goneLine_(goneLine) {
    kindRefs_.fetch_add(1);
  }
  ULONG AddRef() {
    kindRefs_.fetch_add(1);
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
  }
  // The new count; at 0 the caller deletes the object.
  ULONG Release() {
    kindRefs_.fetch_sub(1);
    const LONG count = ::InterlockedDecrement(&refs_);
    if (count == 0) Journal([this] { return std::string(goneLine_); });
    return static_cast<ULONG>(count);
  }

 private:
  LONG refs_ = 1;
  std::atomic<long>& kindRefs_;
  const char* goneLine_;
};

// How the journal shows a pointer argument.
inline std::string Pointer(const void* value) { return value == nullptr ? "null" : "set"; }

// The namespace ROOT\WMI of the connection the provider is on now, with one reference.
IWbemServices* NewServices();

}  // namespace wmitest
