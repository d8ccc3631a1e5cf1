#include "tools/wmi-test-provider/Protocol.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace wmitest {

namespace {

struct StepRow {
  Step step;
  const char* name;
  std::uint32_t failure;
};

constexpr std::array<StepRow, 5> kSteps{{
    {Step::None, "none", 0},
    {Step::Locator, "locator", 0x80040154},  // REGDB_E_CLASSNOTREG
    {Step::Connect, "connect", 0x80041003},  // WBEM_E_ACCESS_DENIED
    {Step::Blanket, "blanket", 0x80070005},  // E_ACCESSDENIED
    {Step::Query, "query", 0x80041010},      // WBEM_E_INVALID_CLASS: no such event class
}};

// The orientation sits in bits 1 and 2 of the low byte.
struct EventName {
  const char* name;
  std::uint32_t data;
};

constexpr std::array<EventName, 4> kEventNames{{
    {"up", 0x02}, {"down", 0x00}, {"right", 0x04}, {"left", 0x06}}};

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find(' ', start), line.size());
    words.push_back(line.substr(start, end - start));
    at = end;
  }
  return words;
}

std::optional<std::uint64_t> ParseDigits(std::string_view digits, unsigned base,
                                         std::uint64_t max = 0xFFFFFFFFu) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    if (value > (max - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%" PRIX64, value);
  return text;
}

// "name=value" with the expected name and a decimal value, negative when something gave back
// more references than it took.
std::optional<long> Field(std::string_view word, std::string_view name) {
  if (word.size() <= name.size() + 1 || word.substr(0, name.size()) != name ||
      word[name.size()] != '=')
    return std::nullopt;
  std::string_view digits = word.substr(name.size() + 1);
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.remove_prefix(1);
  const auto value = ParseDigits(digits, 10, 0x7FFFFFFF);
  if (!value) return std::nullopt;
  return negative ? -static_cast<long>(*value) : static_cast<long>(*value);
}

}  // namespace

std::optional<Step> ParseStep(std::string_view name) {
  for (const StepRow& row : kSteps)
    if (name == row.name) return row.step;
  return std::nullopt;
}

const char* StepName(Step step) {
  for (const StepRow& row : kSteps)
    if (row.step == step) return row.name;
  return "?";
}

std::uint32_t DefaultFailure(Step step) {
  for (const StepRow& row : kSteps)
    if (row.step == step) return row.failure;
  return 0;
}

std::optional<std::uint32_t> ParseNumber(std::string_view word) {
  const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  const auto value = hex ? ParseDigits(word.substr(2), 16) : ParseDigits(word, 10);
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

std::optional<std::uint32_t> ParseEventData(std::string_view word) {
  for (const EventName& event : kEventNames)
    if (word == event.name) return event.data;
  return ParseNumber(word);
}

std::optional<std::string> LocatorChangeRefusal(bool underWine) {
  if (underWine) return std::nullopt;
  return "this is not Wine: the provider takes the place of WMI's locator for every program "
         "on the machine, which is only for a throw-away Wine prefix";
}

std::string FormatRequest(const Request& request) {
  std::string line;
  switch (request.kind) {
    case Request::Kind::Report:
      line = "report";
      break;
    case Request::Kind::Deliver:
      line = "deliver " + std::to_string(request.batches);
      for (const std::uint32_t data : request.data) line += " " + std::to_string(data);
      break;
    case Request::Kind::Status:
      // The flags go as the unsigned number they are read as: "-1" would not read back.
      line = "status " + std::to_string(static_cast<std::uint32_t>(request.statusFlags)) + " " +
             Hex(request.statusResult);
      break;
    case Request::Kind::End:
      line = "end " + Hex(request.statusResult);
      break;
    case Request::Kind::Drop:
      line = "drop";
      break;
  }
  return line + "\n";
}

std::optional<Request> ParseRequest(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return std::nullopt;

  Request request;
  if (words[0] == "report" && words.size() == 1) {
    request.kind = Request::Kind::Report;
    return request;
  }
  if (words[0] == "drop" && words.size() == 1) {
    request.kind = Request::Kind::Drop;
    return request;
  }
  if (words[0] == "end" && words.size() == 2) {
    request.kind = Request::Kind::End;
    const auto result = ParseNumber(words[1]);
    if (!result) return std::nullopt;
    request.statusResult = *result;
    return request;
  }
  if (words[0] == "deliver" && words.size() >= 3) {
    request.kind = Request::Kind::Deliver;
    const auto batches = ParseNumber(words[1]);
    if (!batches || *batches == 0) return std::nullopt;
    request.batches = *batches;
    for (std::size_t i = 2; i < words.size(); ++i) {
      const auto data = ParseNumber(words[i]);
      if (!data) return std::nullopt;
      request.data.push_back(*data);
    }
    return request;
  }
  if (words[0] == "status" && words.size() == 3) {
    request.kind = Request::Kind::Status;
    const auto flags = ParseNumber(words[1]);
    const auto result = ParseNumber(words[2]);
    if (!flags || !result) return std::nullopt;
    request.statusFlags = static_cast<std::int32_t>(*flags);
    request.statusResult = *result;
    return request;
  }
  return std::nullopt;
}

std::string FormatReport(const Report& report) {
  std::ostringstream out;
  out << kOk << "\n"
      << "process " << report.processId << "\n"
      << "refs locator=" << report.locatorRefs << " services=" << report.servicesRefs
      << " events=" << report.eventRefs << "\n"
      << "threads started=" << report.threadsStarted << " ended=" << report.threadsEnded << "\n"
      << "subscribed " << (report.subscribed ? "yes" : "no") << "\n"
      << "handler " << Hex(report.handler) << "\n";
  for (const std::string& line : report.journal) out << "journal " << line << "\n";
  return out.str();
}

std::optional<Report> ParseReport(std::string_view reply) {
  Report report;
  std::istringstream in{std::string(reply)};
  std::string line;
  if (!std::getline(in, line) || line != kOk) return std::nullopt;

  constexpr std::string_view kProcess = "process ";
  if (!std::getline(in, line) || line.compare(0, kProcess.size(), kProcess) != 0)
    return std::nullopt;
  const auto processId = ParseDigits(std::string_view(line).substr(kProcess.size()), 10);
  if (!processId) return std::nullopt;
  report.processId = static_cast<std::uint32_t>(*processId);

  if (!std::getline(in, line)) return std::nullopt;
  const std::vector<std::string_view> refs = Words(line);
  if (refs.size() != 4 || refs[0] != "refs") return std::nullopt;
  const auto locators = Field(refs[1], "locator");
  const auto services = Field(refs[2], "services");
  const auto events = Field(refs[3], "events");
  if (!locators || !services || !events) return std::nullopt;
  report.locatorRefs = *locators;
  report.servicesRefs = *services;
  report.eventRefs = *events;

  if (!std::getline(in, line)) return std::nullopt;
  const std::vector<std::string_view> threads = Words(line);
  if (threads.size() != 3 || threads[0] != "threads") return std::nullopt;
  const auto started = Field(threads[1], "started");
  const auto ended = Field(threads[2], "ended");
  if (!started || !ended) return std::nullopt;
  report.threadsStarted = *started;
  report.threadsEnded = *ended;

  if (!std::getline(in, line) || (line != "subscribed yes" && line != "subscribed no"))
    return std::nullopt;
  report.subscribed = line == "subscribed yes";

  constexpr std::string_view kHandler = "handler 0x";
  if (!std::getline(in, line) || line.compare(0, kHandler.size(), kHandler) != 0)
    return std::nullopt;
  const auto handler =
      ParseDigits(std::string_view(line).substr(kHandler.size()), 16, UINTPTR_MAX);
  if (!handler) return std::nullopt;
  report.handler = static_cast<std::uintptr_t>(*handler);

  constexpr std::string_view kJournal = "journal ";
  while (std::getline(in, line)) {
    if (line.compare(0, kJournal.size(), kJournal) != 0) return std::nullopt;
    report.journal.push_back(line.substr(kJournal.size()));
  }
  return report;
}

}  // namespace wmitest
