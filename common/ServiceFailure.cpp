#include "common/ServiceFailure.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <new>

#include "common/DebugPrint.h"

namespace service_failure {

namespace {

std::atomic<Handler> g_handler{nullptr};

}  // namespace

Failure CurrentFailure(const char* where, std::uint32_t otherwise) noexcept {
  Failure failure;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    failure.code = kOutOfMemory;
    std::snprintf(failure.reason, sizeof(failure.reason), "out of memory on %s", where);
  } catch (const std::exception& error) {
    failure.code = otherwise;
    std::snprintf(failure.reason, sizeof(failure.reason), "an exception on %s: %s", where,
                  error.what());
  } catch (...) {
    failure.code = otherwise;
    std::snprintf(failure.reason, sizeof(failure.reason), "an exception on %s", where);
  }
  return failure;
}

void SetHandler(Handler handler) { g_handler.store(handler); }

void Fail(const Failure& failure) noexcept {
  if (const Handler handler = g_handler.load()) {
    handler(failure);
  } else {
    WriteFailureLine(failure);
  }
}

void WriteFailureLine(const Failure& failure) noexcept {
  char line[256];
  std::snprintf(line, sizeof(line), "Pivotra ends by a failure: %s (code %u)", failure.reason,
                static_cast<unsigned>(failure.code));
  WriteDebugString(line);
}

}  // namespace service_failure
