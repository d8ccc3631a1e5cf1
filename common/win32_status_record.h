#pragma once

#include <cstdint>
#include <string>

#include "common/StatusRecord.h"

// The service's side of the status record (common/StatusRecord.h). Each call writes its values
// with the time now; a value that cannot be written (no rights, as in a foreground run by a
// user) is left as it was. Both return 0 or the registry's error.
long RecordSubscription(status_record::SubscriptionState state, const std::string& detail);
long RecordProgramRun(status_record::ProgramRun run, std::uint32_t code, std::uint32_t angle);

// Removes the record, with the service's removal.
long ForgetStatusRecord();
