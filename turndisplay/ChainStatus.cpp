#include "turndisplay/ChainStatus.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "common/Format.h"
#include "common/StatusRecord.h"

namespace turndisplay {

namespace {

using service_settings::Level;

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorNotSupported = 50;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorInvalidLevel = 124;
constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
constexpr std::uint32_t kServiceRunning = 4;  // SERVICE_RUNNING
constexpr std::uint32_t kAutoStart = 2;       // SERVICE_AUTO_START
// Error, warning and information entries, as the service registers its source.
constexpr std::uint32_t kTypesSupported = 7;
constexpr std::uint32_t kWbemNotFound = 0x80041002;
constexpr std::uint32_t kWbemInvalidNamespace = 0x8004100E;
constexpr std::uint32_t kWbemInvalidClass = 0x80041010;
// The service's first attempt ends within this, unless WMI itself hangs.
constexpr std::uint64_t kConnectingAtMost = 120ull * 10000000;

constexpr const char* kStates[] = {"state 0", "stopped",          "start pending", "stop pending",
                                   "running", "continue pending", "pause pending", "paused"};
constexpr const char* kStartTypes[] = {"boot start", "system start", "automatic start",
                                       "manual start", "disabled"};
constexpr const char* kActions[] = {"none", "restart", "reboot", "run a command"};
constexpr const char* kSidTypes[] = {"none", "unrestricted", "2", "restricted"};
constexpr const char* kSubscriptionStates[] = {"connecting", "subscribed", "failing", "stopped"};
// What each exit code of the display program means, in a few words.
constexpr const char* kExitCodes[] = {"turned",
                                      "already so",
                                      "a bad argument",
                                      "the user's lock",
                                      "refused by the display driver",
                                      "the current mode unreadable",
                                      "in effect after a restart",
                                      "laptop posture or docked",
                                      "Windows turns the screen itself",
                                      "off by policy",
                                      "an application's hold or a remote session",
                                      "no built-in panel"};

template <std::size_t Count>
std::string NameOf(const char* const (&names)[Count], std::uint32_t value) {
  if (value < Count) return names[value];
  return FormatString("%u", static_cast<unsigned>(value));
}

// One line's parts, in their order; the line is a fault when one of them is.
class Parts {
 public:
  void Add(std::string part, bool wrong = false) {
    parts_.push_back(std::move(part));
    fault_ = fault_ || wrong;
  }
  void Unreadable(const std::string& what, std::uint32_t error, bool maybeNotKept = false) {
    // A level the system does not know is no fault: older Windows, and Wine, keep no such value.
    const bool notKept = maybeNotKept && (error == kErrorInvalidLevel ||
                                          error == kErrorInvalidParameter ||
                                          error == kErrorNotSupported);
    Add(FormatString("%s cannot be read%s (error %u)", what.c_str(),
                     notKept ? " on this system" : "", static_cast<unsigned>(error)),
        !notKept);
  }
  std::string Line(const char* name, ChainStatus& status) const {
    status.fault = status.fault || fault_;
    std::string line = std::string(name) + (fault_ ? ": fault" : ": ok");
    for (const std::string& part : parts_) line += "; " + part;
    return line;
  }

 private:
  std::vector<std::string> parts_;
  bool fault_ = false;
};

// A value read back against the one expected: itself when they are equal, both when not.
template <typename Value, typename Describe>
void Compare(Parts& parts, const char* what, const Reading<Value>& reading, const Value& expected,
             Describe describe) {
  if (reading.error != 0) return parts.Unreadable(what, reading.error, true);
  if (reading.value == expected) return parts.Add(describe(reading.value));
  parts.Add(describe(reading.value) + " (expected: " + describe(expected) + ")", true);
}

const service_settings::Setting& Installed(Level level) {
  const auto& table = service_settings::Table();
  return *std::find_if(table.begin(), table.end(),
                       [level](const service_settings::Setting& s) { return s.level == level; });
}

std::string DescribeActions(const FailureActions& failure) {
  std::string text = "recovery actions:";
  for (const service_settings::Action& action : failure.actions) {
    text += " " + NameOf(kActions, action.type);
    if (action.type != 0)
      text += FormatString(" after %u ms", static_cast<unsigned>(action.delayMs));
    text += ",";
  }
  return text +
         FormatString(" counts reset after %u s", static_cast<unsigned>(failure.resetPeriod));
}

// The privileges in the order of their names: the service control manager need not keep ours.
std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> InstalledPrivileges() {
  std::vector<std::string> names;
  const std::string& list = Installed(service_settings::kRequiredPrivileges).multiString;
  for (std::size_t at = 0; at < list.size() && list[at] != '\0'; at = list.find('\0', at) + 1)
    names.push_back(list.c_str() + at);
  return Sorted(names);
}

std::string ServiceLine(const ServiceReading& service, ChainStatus& status) {
  using namespace service_settings;
  Parts parts;
  if (service.openError == kErrorServiceDoesNotExist) {
    parts.Add("not installed", true);
  } else if (service.openError != 0) {
    parts.Unreadable("the service", service.openError);
  } else {
    Compare(parts, "the state", service.state, kServiceRunning,
            [](std::uint32_t state) { return NameOf(kStates, state); });
    Compare(parts, "the start type", service.startType, kAutoStart,
            [](std::uint32_t type) { return NameOf(kStartTypes, type); });
    const Setting& actions = Installed(kFailureActions);
    Compare(parts, "the recovery actions", service.failureActions,
            FailureActions{actions.value, actions.actions}, DescribeActions);
    Compare(parts, "the failure-actions flag", service.failureActionsFlag,
            Installed(kFailureActionsFlag).value, [](std::uint32_t on) {
              return std::string("failure-actions flag ") + (on ? "on" : "off");
            });
    Compare(parts, "the preshutdown timeout", service.preshutdownTimeout,
            Installed(kPreshutdownInfo).value, [](std::uint32_t ms) {
              return FormatString("preshutdown timeout %u ms", static_cast<unsigned>(ms));
            });
    Compare(parts, "the SID type", service.sidType, Installed(kSidInfo).value,
            [](std::uint32_t type) { return "SID type " + NameOf(kSidTypes, type); });
    const Reading<std::vector<std::string>> privileges{service.privileges.error,
                                                       Sorted(service.privileges.value)};
    Compare(parts, "the required privileges", privileges, InstalledPrivileges(),
            [](const std::vector<std::string>& names) {
              std::string text = "required privileges";
              for (const std::string& name : names)
                text += (&name == &names.front() ? " " : ", ") + name;
              return text;
            });
  }
  return parts.Line("Service Pivotra", status);
}

std::string WmiLine(std::uint32_t result, ChainStatus& status) {
  Parts parts;
  const std::string name = std::string(kWmiClass) + " in " + kWmiNamespace;
  if (result == 0) {
    parts.Add(name);
  } else if (result == kWbemNotFound || result == kWbemInvalidClass) {
    parts.Add(FormatString("no %s (0x%08X): the firmware's driver does not offer it", name.c_str(),
                           static_cast<unsigned>(result)),
              true);
  } else if (result == kWbemInvalidNamespace) {
    parts.Add(
        FormatString("no namespace %s (0x%08X)", kWmiNamespace, static_cast<unsigned>(result)),
        true);
  } else {
    parts.Add(FormatString("%s cannot be looked up (0x%08X)", name.c_str(),
                           static_cast<unsigned>(result)),
              true);
  }
  return parts.Line("G-sensor's WMI class", status);
}

std::string Recorded(const std::optional<std::uint64_t>& time) {
  return time ? "recorded " + UtcTime(*time) : "recorded at an unknown time";
}

std::string SubscriptionLine(const ChainReadings& readings, ChainStatus& status) {
  using status_record::SubscriptionState;
  const RecordReading& record = readings.record;
  Parts parts;
  if (record.error != 0 && record.error != kErrorFileNotFound) {
    parts.Unreadable("the service's record", record.error);
  } else if (record.error != 0 || !record.subscription) {
    parts.Add("the service has recorded none", true);
  } else {
    const auto state = static_cast<SubscriptionState>(*record.subscription);
    const bool fresh = record.subscriptionTime && readings.now >= *record.subscriptionTime &&
                       readings.now - *record.subscriptionTime < kConnectingAtMost;
    const bool listening =
        state == SubscriptionState::Subscribed || (state == SubscriptionState::Connecting && fresh);
    parts.Add(NameOf(kSubscriptionStates, *record.subscription) + ", " +
                  Recorded(record.subscriptionTime) + ": " + record.subscriptionDetail,
              !listening);
    // A service that ended without a word (a crash) leaves its last state behind.
    const ServiceReading& service = readings.service;
    if (listening && service.openError == 0 && service.state.error == 0 &&
        service.state.value != kServiceRunning)
      parts.Add("the service is not running", true);
  }
  return parts.Line("Subscription", status);
}

std::string ProgramLine(const RecordReading& record, ChainStatus& status) {
  using status_record::ProgramRun;
  Parts parts;
  if (!record.program) {
    parts.Add("none yet");
  } else {
    std::string text = "TurnDisplay.exe";
    if (record.programAngle)
      text += FormatString(" %u", static_cast<unsigned>(*record.programAngle));
    const std::uint32_t code = record.programCode.value_or(0);
    bool wrong = true;
    switch (static_cast<ProgramRun>(*record.program)) {
      case ProgramRun::Ended:
        // Shown, or declined by a rule: the service does what it should either way.
        wrong = code == 2 || code == 4 || code == 5 || code == 6 || code > 11;
        text += FormatString(" ended with %u (%s)", static_cast<unsigned>(code),
                             code <= 11 ? kExitCodes[code] : "no code of its");
        break;
      case ProgramRun::NotStarted:
        text += FormatString(" could not be started (error %u)", static_cast<unsigned>(code));
        break;
      case ProgramRun::EndedAtLimit: text += " still ran at the limit and was ended"; break;
      default:
        text = FormatString("unknown record %u", static_cast<unsigned>(*record.program));
        break;
    }
    parts.Add(text + ", " + Recorded(record.programTime), wrong);
  }
  return parts.Line("Last display program", status);
}

std::string EventSourceLine(const EventSourceReading& source, ChainStatus& status) {
  Parts parts;
  if (source.error == kErrorFileNotFound) {
    parts.Add(std::string("not registered: no HKLM\\") + kEventSourceKey, true);
  } else if (source.error != 0) {
    parts.Unreadable("the source's key", source.error);
  } else {
    if (source.messageFile.error != 0)
      parts.Unreadable("EventMessageFile", source.messageFile.error);
    else if (!source.messageFileExists)
      parts.Add("EventMessageFile names " + source.messageFile.value + ", which is missing", true);
    else
      parts.Add("messages from " + source.messageFile.value);
    Compare(parts, "TypesSupported", source.typesSupported, kTypesSupported,
            [](std::uint32_t types) {
              return FormatString("TypesSupported %u", static_cast<unsigned>(types));
            });
  }
  return parts.Line("Event source Pivotra", status);
}

}  // namespace

bool operator==(const FailureActions& left, const FailureActions& right) {
  return left.resetPeriod == right.resetPeriod &&
         std::equal(left.actions.begin(), left.actions.end(), right.actions.begin(),
                    right.actions.end(), [](const auto& a, const auto& b) {
                      return a.type == b.type && a.delayMs == b.delayMs;
                    });
}

ChainStatus ChainLines(const ChainReadings& readings) {
  ChainStatus status;
  status.lines = {ServiceLine(readings.service, status), WmiLine(readings.wmiClass, status),
                  SubscriptionLine(readings, status), ProgramLine(readings.record, status),
                  EventSourceLine(readings.eventSource, status)};
  return status;
}

std::string UtcTime(std::uint64_t fileTime) {
  // FILETIME counts 100 ns from 1601-01-01; the days become a civil date in the proleptic
  // Gregorian calendar, counted from 0000-03-01 so that a leap day ends each year.
  const std::uint64_t seconds = fileTime / 10000000;
  const std::uint64_t secondOfDay = seconds % 86400;
  const std::uint64_t days = seconds / 86400 + 584694;  // 0000-03-01 to 1601-01-01
  const std::uint64_t era = days / 146097, dayOfEra = days % 146097;
  const std::uint64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::uint64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::uint64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const unsigned day = static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  const unsigned month =
      static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const unsigned year = static_cast<unsigned>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
  return FormatString("%04u-%02u-%02u %02u:%02u:%02u UTC", year, month, day,
                      static_cast<unsigned>(secondOfDay / 3600),
                      static_cast<unsigned>(secondOfDay / 60 % 60),
                      static_cast<unsigned>(secondOfDay % 60));
}

}  // namespace turndisplay
