#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tools/wmi-test-provider/Protocol.h"

namespace wmitest {

// The provider in the process that loaded it: what it saw, the references held to its
// objects, and the one subscription it keeps. Made on first use; it lasts as long as the
// process, like the DLL, which never unloads.
class Provider {
 public:
  static Provider& Instance();

  // One line of the journal that the report carries.
  void Note(std::string line);
  // The failure chosen for step (its code), or S_OK. The registry is read at every call, so a
  // choice made before the subscriber starts holds for its whole run.
  HRESULT FailureFor(Step step) const;

  // The response handler of a query, accepted or not, for the report.
  void Offered(IWbemObjectSink* handler);
  // Keeps one reference to handler for the rest of the process; false when a subscription
  // already stands.
  bool Subscribe(IWbemObjectSink* handler);

  // The reply to one request of the channel.
  std::string Serve(const Request& request);

  // Every reference taken to the provider's objects, less those given back.
  std::atomic<long> locatorRefs{0};
  std::atomic<long> servicesRefs{0};
  std::atomic<long> eventRefs{0};
  // Counted by DllMain, under the loader's lock, where the provider may not yet be made.
  static std::atomic<long> threadsStarted;
  static std::atomic<long> threadsEnded;

 private:
  Provider() = default;
  std::string Deliver(std::uint32_t batches, const std::vector<std::uint32_t>& data);
  std::string SetStatus(std::int32_t flags, std::uint32_t result);

  mutable std::mutex lock_;
  std::vector<std::string> journal_;
  IWbemObjectSink* handler_ = nullptr;  // never released: the subscription ends with the process
  std::uintptr_t offered_ = 0;
};

// Starts the channel's thread once per process; later calls do nothing.
void StartChannel();

// Journal helpers: a wide text (or "null") in the ANSI code page; a number and an HRESULT as
// "0x%X", the way the service prints its codes.
std::string Text(const wchar_t* text);
std::string Hex(std::uint32_t value);
std::string Code(HRESULT result);

}  // namespace wmitest
