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
  // choice made before the subscriber starts holds for its whole run; a failure with a count
  // uses one of its times up.
  HRESULT FailureFor(Step step) const;

  // The response handler of a query, accepted or not, for the report.
  void Offered(IWbemObjectSink* handler);
  // Keeps one reference to handler until the subscription ends; false when one already stands.
  bool Subscribe(IWbemObjectSink* handler);
  // Ends the subscription of handler, as its cancellation does; false when it has none.
  bool Cancel(IWbemObjectSink* handler);

  // The connection that services objects made now belong to; a drop begins the next one.
  unsigned connection() const { return connection_.load(); }

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
  std::string End(std::uint32_t result);
  std::string Drop();
  // The handler, with a reference for the caller, or null.
  IWbemObjectSink* Handler();
  // Takes the handler away; the caller releases the reference it had.
  IWbemObjectSink* TakeHandler();

  mutable std::mutex lock_;
  std::vector<std::string> journal_;
  IWbemObjectSink* handler_ = nullptr;  // one reference, until the subscription ends
  std::uintptr_t offered_ = 0;
  std::atomic<unsigned> connection_{0};
};

// Starts the channel's thread once per process; later calls do nothing.
void StartChannel();

// Journal helpers: a wide text (or "null") in the ANSI code page; a number and an HRESULT as
// "0x%X", the way the service prints its codes.
std::string Text(const wchar_t* text);
std::string Hex(std::uint32_t value);
std::string Code(HRESULT result);

}  // namespace wmitest
