#pragma once

#include "turndisplay/TurnPlatform.h"

namespace turndisplay {

// The display-rotation program's Windows calls. Routines newer than Windows 7 (and the display
// configuration, which older systems lack) are looked up when needed, so that the 32-bit
// program still starts where they are missing.
class Win32TurnPlatform final : public TurnPlatform {
 public:
  std::int32_t SlateMode() override;
  std::optional<std::uint32_t> AutoRotationState() override;
  std::optional<std::vector<DisplayPath>> ActiveDisplayPaths() override;
  std::optional<ModeFields> CurrentMode(const std::string& device) override;
  std::int32_t ChangeMode(const std::string& device, const DisplayMode& mode, bool test) override;
  std::string PrimaryDisplayName() override;
  RegistryRead ReadSettingValue(SettingSource key, const char* valueName) override;
  std::string ProgramDirectory() override;
  std::optional<SavedOrientations> ReadSavedOrientations(const std::string& path) override;
  void Say(const std::string& line) override;
  void Log(const EventEntry& entry) override;
  void Print(const std::string& line) override;
  // The chain beside the display (win32_turn_chain.cpp).
  ServiceReading ReadServiceRegistration() override;
  std::uint32_t LookUpWmiClass() override;
  RecordReading ReadStatusRecord() override;
  EventSourceReading ReadEventSource() override;
  std::uint64_t Now() override;
};

// One line on standard error, or the console of the process that started the program, and on
// the debugger stream.
void SayLine(const char* line);

// The entry for memory that ran out, which needs none to be written.
void LogOutOfMemory() noexcept;

// Joins the desktop that is shown when the program was started off the interactive window
// station (turndisplay/ShownDesktop.h); stays where it is otherwise. Before any window.
void JoinShownDesktop();

}  // namespace turndisplay
