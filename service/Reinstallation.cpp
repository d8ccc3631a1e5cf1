#include "service/Reinstallation.h"

namespace reinstallation {

Step NextStep(Presence presence, std::chrono::milliseconds waited) {
  switch (presence) {
    case Presence::Gone:
      return Step::Create;
    case Presence::Installed:
      return Step::Update;
    case Presence::MarkedForDeletion:
      break;
  }
  return waited < kBound ? Step::Wait : Step::GiveUp;
}

}  // namespace reinstallation
