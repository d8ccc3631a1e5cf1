#pragma once

#include <cstdint>

// A failure the service cannot mend ends it with a non-zero exit code, so that the service
// control manager's recovery actions restart it. Any thread may call for that: the service sets
// the handler at its start.
namespace service_failure {

// The service-specific exit codes (reported with ERROR_SERVICE_SPECIFIC_ERROR) and the process's
// exit codes of such an end; docs/event-log.md lists them.
enum Code : std::uint32_t {
  kOutOfMemory = 1,
  kUnexpectedException = 2,  // on the service's main path
  kNoControlHandler = 3,     // the process's exit code only: nothing can be reported without it
  kListeningFailed = 4,      // the WMI wait thread could not start, or an exception ended it
};

struct Failure {
  std::uint32_t code = 0;  // 0: none
  char reason[200] = {};   // for the event log: "out of memory on the WMI wait thread"
};

// The failure of the exception being handled on where ("the WMI wait thread"): out of memory, or
// otherwise with the exception's text. Only inside a catch block. Allocates nothing, which may be
// what failed.
Failure CurrentFailure(const char* where, std::uint32_t otherwise = kUnexpectedException) noexcept;

using Handler = void (*)(const Failure& failure);
void SetHandler(Handler handler);

// Ends the service as a stop would, with the failure's code. Without a service to end (no
// handler set) it only writes the failure's debugger line.
void Fail(const Failure& failure) noexcept;

// "Pivotra ends by a failure: <reason> (code <code>)" on the debugger output stream.
void WriteFailureLine(const Failure& failure) noexcept;

}  // namespace service_failure
