// The text of a profile file, read and changed as the platform's routines do: "[Section]" and
// "key=value" lines ended by CR LF; a write changes one line, or adds the key (and its
// section), and every other line, blank lines and comments included, stays as it was.
#include "orientation/ProfileText.h"

#include <optional>
#include <vector>

#include "common/TextCase.h"

namespace {

constexpr const char* kNewLine = "\r\n";

struct Line {
  std::string text;
  std::string ending;  // "\r\n", "\n" or "" for a last line without one
};

struct KeyLine {
  std::string_view name;
  std::string_view value;
};

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  return Trim(line.substr(0, line.find(']')));
}

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  if (SectionName(line)) return std::nullopt;
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view name = Trim(line.substr(0, equals));
  if (name.empty()) return std::nullopt;
  return KeyLine{name, Trim(line.substr(equals + 1))};
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const auto newline = content.find('\n', start);
    if (newline == std::string::npos) {
      lines.push_back({content.substr(start), ""});
      break;
    }
    const bool crlf = newline > start && content[newline - 1] == '\r';
    const auto textEnd = crlf ? newline - 1 : newline;
    lines.push_back({content.substr(start, textEnd - start), crlf ? "\r\n" : "\n"});
    start = newline + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string content;
  for (const Line& line : lines) content += line.text + line.ending;
  return content;
}

// The index of the first line of the section's header, or lines.size().
std::size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i].text);
    if (name && EqualsIgnoringCase(*name, section)) return i;
  }
  return lines.size();
}

bool IsSectionEnd(const Line& line) { return SectionName(line.text).has_value(); }

std::optional<std::string> FindValue(const std::vector<Line>& lines, std::string_view section,
                                     std::string_view key) {
  for (std::size_t i = FindSection(lines, section) + 1; i < lines.size(); ++i) {
    if (IsSectionEnd(lines[i])) break;
    const auto entry = ParseKeyLine(lines[i].text);
    if (entry && EqualsIgnoringCase(entry->name, key)) return std::string(entry->value);
  }
  return std::nullopt;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// As Windows reads a profile integer: from a buffer of 30 characters, in base 10 unless a
// prefix says otherwise, wrapping at 32 bits.
std::uint32_t ParseProfileInt(std::string_view text) {
  text = text.substr(0, 29);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::uint32_t base = 10;
  if (text.size() >= 2 && text[0] == '0') {
    switch (text[1]) {
      case 'x': base = 16; break;
      case 'o': base = 8; break;
      case 'b': base = 2; break;
      default: break;
    }
    if (base != 10) text.remove_prefix(2);
  }
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = DigitValue(c);
    if (digit >= static_cast<int>(base)) break;
    value = value * base + static_cast<std::uint32_t>(digit);
  }
  return negative ? 0u - value : value;
}

}  // namespace

namespace profile {

std::optional<std::string> ReadValueInText(std::string_view content, std::string_view section,
                                           std::string_view key) {
  return FindValue(SplitLines(std::string(content)), section, key);
}

std::uint32_t ReadIntInText(std::string_view content, const char* section, const char* key,
                            int defaultValue) {
  const auto fallback = static_cast<std::uint32_t>(defaultValue);
  if (section == nullptr || key == nullptr) return fallback;
  const auto value = ReadValueInText(content, section, key);
  if (!value) return fallback;
  const std::string_view text = StripQuotes(*value);
  return text.empty() ? fallback : ParseProfileInt(text);
}

std::string WriteStringInText(std::string_view content, std::string_view section,
                              std::string_view key, std::string_view value) {
  std::vector<Line> lines = SplitLines(std::string(content));
  const std::string entry = std::string(key) + "=" + std::string(value);

  const std::size_t header = FindSection(lines, section);
  if (header == lines.size()) {
    if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = kNewLine;
    lines.push_back({"[" + std::string(section) + "]", kNewLine});
    lines.push_back({entry, kNewLine});
    return JoinLines(lines);
  }

  std::size_t lastFilled = header;
  for (std::size_t i = header + 1; i < lines.size() && !IsSectionEnd(lines[i]); ++i) {
    const auto found = ParseKeyLine(lines[i].text);
    if (found && EqualsIgnoringCase(found->name, key)) {
      lines[i].text = std::string(found->name) + "=" + std::string(value);
      return JoinLines(lines);
    }
    if (!Trim(lines[i].text).empty()) lastFilled = i;
  }
  if (lines[lastFilled].ending.empty()) lines[lastFilled].ending = kNewLine;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastFilled) + 1, Line{entry, kNewLine});
  return JoinLines(lines);
}

}  // namespace profile
