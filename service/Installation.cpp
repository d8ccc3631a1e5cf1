#include "service/Installation.h"

#include <algorithm>

namespace installation {

std::string QuotedCommand(std::string_view executablePath) {
  std::string command;
  command.reserve(executablePath.size() + 2);
  command += '"';
  command += executablePath;
  command += '"';
  return command;
}

std::array<char, kDescriptionBufferSize> DescriptionBuffer(std::string_view text) {
  std::array<char, kDescriptionBufferSize> buffer{};
  const std::size_t length = std::min(text.size(), buffer.size() - 1);
  std::copy_n(text.data(), length, buffer.data());
  return buffer;
}

}  // namespace installation
