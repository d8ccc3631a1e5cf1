// The display-rotation program's command line: any words, split at zero bytes. Only one
// argument is taken: "restore", "status", or an angle spelled exactly, and it means that angle.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzCheck.h"
#include "turndisplay/TurnDecision.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words{"TurnDisplay.exe"};
  std::string word;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  if (size > 0) words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& each : words) argv.push_back(each.c_str());
  argv.push_back(nullptr);

  const auto request = turndisplay::ParseArguments(static_cast<int>(words.size()), argv.data());
  if (request) {
    Require(words.size() == 2, "a request is taken only as the one argument");
    Require(request->status    ? words[1] == "status"
            : request->restore ? words[1] == "restore"
                               : std::to_string(turndisplay::AngleOf(request->orientation)) == words[1],
            "the request taken is the one written");
  }
  return 0;
}
