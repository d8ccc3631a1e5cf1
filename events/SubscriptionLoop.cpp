#include "events/SubscriptionLoop.h"

#include <algorithm>
#include <array>

namespace subscription_loop {

std::chrono::milliseconds PauseAfter(unsigned failures) {
  // From the seventh failure on the doubling has passed the minute.
  const unsigned doublings = std::min(failures == 0 ? 0u : failures - 1, 6u);
  return std::min(kFirstPause * (1u << doublings), kLongestPause);
}

bool ConnectionGone(std::uint32_t code) {
  constexpr std::array<std::uint32_t, 8> kGone{{
      0x800706BA,  // RPC_S_SERVER_UNAVAILABLE
      0x800706BE,  // RPC_S_CALL_FAILED
      0x80010108,  // RPC_E_DISCONNECTED
      0x80010007,  // RPC_E_SERVER_DIED
      0x80010012,  // RPC_E_SERVER_DIED_DNE
      0x800401FD,  // CO_E_OBJNOTCONNECTED
      0x80041015,  // WBEM_E_TRANSPORT_FAILURE
      0x80041033,  // WBEM_E_SHUTTING_DOWN
  }};
  return std::find(kGone.begin(), kGone.end(), code) != kGone.end();
}

}  // namespace subscription_loop
