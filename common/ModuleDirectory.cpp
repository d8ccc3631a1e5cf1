#include "common/ModuleDirectory.h"

std::string CutAtLastBackslash(std::string_view path, bool withTrailingBackslash,
                               LeadBytePredicate isLeadByte) {
  std::string_view::size_type lastBackslash = std::string_view::npos;
  for (std::string_view::size_type i = 0; i < path.size(); ++i) {
    const auto byte = static_cast<unsigned char>(path[i]);
    if (isLeadByte(byte) && i + 1 < path.size()) {
      ++i;  // step over the trail byte, whatever its value
    } else if (byte == '\\') {
      lastBackslash = i;
    }
  }
  if (lastBackslash == std::string_view::npos) return std::string(path);
  return std::string(path.substr(0, withTrailingBackslash ? lastBackslash + 1 : lastBackslash));
}

std::string GetModuleDirectory(bool withTrailingBackslash) {
  return CutAtLastBackslash(ModuleFileName(), withTrailingBackslash, IsAnsiLeadByte);
}
