#include "common/EventLogWriter.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace event_log {

namespace {

std::atomic<Writer> g_writer{nullptr};

}  // namespace

void SetWriter(Writer writer) { g_writer.store(writer); }

void Write(std::uint16_t type, std::uint32_t id, const std::vector<std::string>& strings) {
  const Writer writer = g_writer.load();
  if (writer == nullptr) return;
  const char* texts[9] = {};
  const std::size_t count = std::min(strings.size(), std::size(texts));
  for (std::size_t i = 0; i < count; ++i) texts[i] = strings[i].c_str();
  writer(type, id, texts, count);
}

}  // namespace event_log
