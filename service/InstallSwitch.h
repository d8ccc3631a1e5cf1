#pragma once

// The installation switches that may end the command line.
enum class InstallSwitch { None, UnregServer, RegServer, Service };

// How the command line is read: the next character (a double-byte character is one) and a
// case-insensitive comparison in the ANSI code page. Windows uses CharNextA and lstrcmpiA.
struct CommandLineText {
  const char* (*next)(const char* position);
  bool (*equalsIgnoringCase)(const char* a, const char* b);
};

// Looks through the whole command line, program path included, for a minus sign or a slash
// whose rest of the line is one of the switches. Anything after a switch, even a blank, makes
// it no switch, so only a switch that ends the line can match.
InstallSwitch ScanInstallSwitch(const char* commandLine, const CommandLineText& text);

// The scan with the platform's text routines.
InstallSwitch FindInstallSwitch(const char* commandLine);
