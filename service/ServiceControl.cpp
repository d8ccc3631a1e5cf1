#include "service/ServiceControl.h"

namespace service_control {

namespace {

ControlAnswer CatchUp(CatchUpTrigger trigger) { return {ControlAction::CatchUp, trigger}; }

ControlAnswer SessionChange(std::uint32_t eventType) {
  switch (eventType) {
    case kSessionLogon: return CatchUp(CatchUpTrigger::SignIn);
    case kSessionUnlock: return CatchUp(CatchUpTrigger::Unlock);
    case kConsoleConnect: return CatchUp(CatchUpTrigger::ConsoleConnect);
    default: return {};
  }
}

// Modern Standby sends no resume for a while after boot: the display coming on stands for it.
ControlAnswer PowerEvent(const ControlEvent& event, std::uint32_t previousDisplay) {
  if (event.eventType == kResumeAutomatic) return CatchUp(CatchUpTrigger::Resume);
  if (event.eventType == kPowerSettingChange && event.displayState == kDisplayOn &&
      previousDisplay == kDisplayOff)
    return CatchUp(CatchUpTrigger::DisplayOn);
  return {};
}

}  // namespace

ControlAnswer AnswerFor(const ControlEvent& event, std::uint32_t previousDisplay) {
  switch (event.control) {
    case kStop:
    case kPreshutdown:
      return {ControlAction::Stop};
    case kPause:
    case kContinue:
    case kInterrogate:
    case kShutdown:
      return {ControlAction::Ignore};
    case kSessionChange:
      return SessionChange(event.eventType);
    case kPowerEvent:
      return PowerEvent(event, previousDisplay);
    default:
      return {ControlAction::BadRequest};
  }
}

}  // namespace service_control
