// The replacement of the private-profile routines for native builds: the file's whole text is
// read, and written back whole, around the text routines.
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "orientation/Profile.h"
#include "orientation/ProfileText.h"

namespace {

// Windows paths in, host paths out: a backslash separates directories as it does on Windows.
std::string HostPath(const char* path) {
  std::string host(path);
  for (char& c : host)
    if (c == '\\') c = '/';
  return host;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

namespace profile {

std::uint32_t ReadInt(const char* section, const char* key, int defaultValue, const char* path) {
  if (path == nullptr) return static_cast<std::uint32_t>(defaultValue);
  const auto content = ReadWholeFile(HostPath(path));
  if (!content) return static_cast<std::uint32_t>(defaultValue);
  return ReadIntInText(*content, section, key, defaultValue);
}

bool WriteString(const char* section, const char* key, const char* value, const char* path) {
  // Deleting keys or sections (a null key or value) is not needed here and not supported.
  if (section == nullptr || key == nullptr || value == nullptr || path == nullptr) return false;
  const std::string hostPath = HostPath(path);
  return WriteWholeFile(
      hostPath, WriteStringInText(ReadWholeFile(hostPath).value_or(std::string()), section, key,
                                  value));
}

}  // namespace profile
