#pragma once

#include <string>

// The registry script the executable carries, built from its rows: each line's tabs, its text,
// then CR LF (the last line too).
inline std::string ExpectedProgramScript() {
  const struct {
    int tabs;
    const char* text;
  } rows[] = {
      {0, "HKCR"},
      {0, "{"},
      {1, "NoRemove AppID"},
      {1, "{"},
      {2, "{5A1C3E27-94B0-4D6F-A812-3C7E9D40B615} = s 'Pivotra'"},
      {2, "'Pivotra.EXE'"},
      {2, "{"},
      {3, "val AppID = s {5A1C3E27-94B0-4D6F-A812-3C7E9D40B615}"},
      {2, "}"},
      {1, "}"},
      {0, "}"},
  };
  std::string script;
  for (const auto& row : rows) script += std::string(row.tabs, '\t') + row.text + "\r\n";
  return script;
}
