#pragma once

#include <chrono>
#include <string>
#include <vector>

// What the recording stand-in for the display-rotation program wrote: one start per line of
// "TurnDisplay.record" beside it.
struct TurnDisplayStart {
  std::string commandLine;
  std::string argumentCount;
  std::string argument;
};

std::vector<TurnDisplayStart> ReadStarts(const std::string& directory);

// The starts recorded in directory, once count of them are there or the deadline passed.
std::vector<TurnDisplayStart> WaitForStarts(
    const std::string& directory, std::size_t count,
    std::chrono::milliseconds timeout = std::chrono::seconds(30));
