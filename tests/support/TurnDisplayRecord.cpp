#include "tests/support/TurnDisplayRecord.h"

#include <sstream>

#include "tests/support/Eventually.h"
#include "tests/support/TempDir.h"

std::vector<TurnDisplayStart> ReadStarts(const std::string& directory) {
  std::vector<TurnDisplayStart> starts;
  std::istringstream lines(ReadFileBytes(directory + "TurnDisplay.record"));
  std::string line;
  while (std::getline(lines, line)) {
    TurnDisplayStart start;
    std::istringstream fields(line);
    std::getline(fields, start.commandLine, '\t');
    std::getline(fields, start.argumentCount, '\t');
    std::getline(fields, start.argument, '\t');
    starts.push_back(start);
  }
  return starts;
}

std::vector<TurnDisplayStart> WaitForStarts(const std::string& directory, std::size_t count,
                                            std::chrono::milliseconds timeout) {
  std::vector<TurnDisplayStart> starts;
  Eventually(
      [&] {
        starts = ReadStarts(directory);
        return starts.size() >= count;
      },
      timeout);
  return starts;
}
