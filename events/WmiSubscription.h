#pragma once

#include <windows.h>
#include <wbemcli.h>
#include <wrl/client.h>

#include <string>

#include "events/SubscriptionLoop.h"

class EventSink;

// One subscription of the event sink to the firmware's event in ROOT\WMI, and the interfaces
// it holds while it stands. Made on the wait thread, in the multithreaded apartment.
class WmiSubscription {
 public:
  // obtainSink gives the process's one sink, made on first use; null when it cannot be had
  // (stopping tells whether the service stops meanwhile).
  using ObtainSink = EventSink* (*)(bool& stopping);
  explicit WmiSubscription(ObtainSink obtainSink) : obtainSink_(obtainSink) {}

  // Locator, connection, proxy blanket, the sink and its stub, the query: each step with its
  // line. A failed step gives back what was obtained, in the order of the steps' table.
  subscription_loop::Attempt Subscribe();
  // Gives everything back; cancel asks WMI to end the subscription first.
  void Drop(bool cancel);
  // Asks WMI for the event's class: a cheap call that fails only when the connection is gone.
  bool StillConnected();

  // The line of what failed last, for the event log.
  const std::string& reason() const { return reason_; }
  void set_reason(std::string reason) { reason_ = std::move(reason); }

 private:
  // Writes the line of the failed step, keeps it and gives back what was obtained.
  subscription_loop::Attempt Fail(const char* format, HRESULT result);
  subscription_loop::Attempt Fail(std::string line);
  subscription_loop::Attempt Query(EventSink* sink);

  ObtainSink obtainSink_;
  Microsoft::WRL::ComPtr<IWbemLocator> locator_;
  Microsoft::WRL::ComPtr<IWbemServices> services_;
  Microsoft::WRL::ComPtr<IUnsecuredApartment> apartment_;
  Microsoft::WRL::ComPtr<IUnknown> stub_;
  Microsoft::WRL::ComPtr<IWbemObjectSink> stubSink_;
  IWbemObjectSink* handler_ = nullptr;  // what WMI delivers to: the stub's sink, or the sink
  std::string reason_;
};
