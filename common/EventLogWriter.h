#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The service's event-log entries written from outside its host (the subscription's, the
// display program's launch failures), on any thread: through the one writer the service sets
// at its start, which writes to the event log, or to standard output in the foreground.
namespace event_log {

// type: EVENTLOG_ERROR_TYPE 1, EVENTLOG_WARNING_TYPE 2, EVENTLOG_INFORMATION_TYPE 4; the
// insertion strings %1 to %count of the message id (resources/Messages.mc).
using Writer = void (*)(std::uint16_t type, std::uint32_t id, const char* const* strings,
                        std::size_t count);

void SetWriter(Writer writer);

// Nothing until a writer is set. At most nine strings, as a message can use.
void Write(std::uint16_t type, std::uint32_t id, const std::vector<std::string>& strings);

}  // namespace event_log
