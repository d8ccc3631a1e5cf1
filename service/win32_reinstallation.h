#pragma once

#include "service/Reinstallation.h"

// What the service control manager shows under the service's name.
reinstallation::Presence LookForService(const char* name);

// Waits, polling the manager, until the earlier copy of the service has gone or the bound is
// reached (see service/Reinstallation.h).
reinstallation::Step AwaitEarlierService(const char* name);
