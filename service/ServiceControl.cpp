#include "service/ServiceControl.h"

namespace service_control {

ControlAction ActionFor(std::uint32_t control) {
  switch (control) {
    case kStop:
    case kPreshutdown:
      return ControlAction::Stop;
    case kPause:
    case kContinue:
    case kInterrogate:
    case kShutdown:
      return ControlAction::Ignore;
    default:
      return ControlAction::BadRequest;
  }
}

}  // namespace service_control
