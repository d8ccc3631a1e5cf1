#include "common/CatchUpTrigger.h"

const char* TriggerName(CatchUpTrigger trigger) {
  switch (trigger) {
    case CatchUpTrigger::PostureChange: return "a posture change";
    case CatchUpTrigger::RotationLockChange: return "a change of the rotation lock";
    case CatchUpTrigger::SignIn: return "a sign-in";
    case CatchUpTrigger::Unlock: return "an unlock";
    case CatchUpTrigger::ConsoleConnect: return "a connection to the console";
    case CatchUpTrigger::Resume: return "a resume";
    case CatchUpTrigger::DisplayOn: return "the display coming on";
    case CatchUpTrigger::None: break;
  }
  return "a request";
}
