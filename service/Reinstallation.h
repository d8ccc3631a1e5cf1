#pragma once

#include <chrono>

// A re-installation. An installed service is updated in place: a deletion would only mark it
// while it runs or while another program holds it open, and leave no service once the last
// handle goes. A copy that something else deleted is waited for: the service control manager
// refuses to create one of the same name meanwhile (1072). On Windows the marked copy goes once
// it has stopped and its last handle is closed; Wine removes it at the next close of a handle
// after that. Installation waits for it, within a bound, polling the manager.
namespace reinstallation {

// What the service control manager shows under the service's name.
enum class Presence {
  Gone,               // no such service (or no manager to ask: creating it will tell)
  Installed,          // a service that is not being deleted
  MarkedForDeletion,  // deleted, kept until it has stopped and its handles are closed
};

enum class Step {
  Create,  // the name is free
  Update,  // a service nobody deletes: it is changed in place, and keeps its name and handles
  Wait,    // the earlier copy is still going
  GiveUp,  // still there at the bound
};

inline constexpr std::chrono::milliseconds kBound{30000};
inline constexpr std::chrono::milliseconds kPollInterval{200};

// What installation does next, having seen presence after waiting for waited.
Step NextStep(Presence presence, std::chrono::milliseconds waited);

// Looks at the service's name until the next step is not a wait. look() gives the Presence,
// now() a steady clock's time point, pause(interval) waits for about that long.
template <typename Look, typename Now, typename Pause>
Step AwaitEarlierCopy(Look look, Now now, Pause pause) {
  const auto start = now();
  for (;;) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now() - start);
    const Step step = NextStep(look(), waited);
    if (step != Step::Wait) return step;
    pause(kPollInterval);
  }
}

}  // namespace reinstallation
