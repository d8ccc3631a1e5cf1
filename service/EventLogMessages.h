#pragma once

// The identifiers of the message table (resources/Messages.mc) that this program's event-log
// entries carry. The table serves every program that writes under the service's source, each in
// a range of its own: Pivotra.EXE 100-199, TurnDisplay.exe 200-299.
namespace event_messages {

inline constexpr unsigned kText = 0;  // the insertion string alone
inline constexpr unsigned kSubscriptionFailed = 100;     // warning: the events stopped coming
inline constexpr unsigned kSubscriptionRecovered = 101;  // information: they come again

}  // namespace event_messages
