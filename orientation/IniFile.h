#pragma once

#include <cstdint>
#include <string>

// One INI file, read and written one integer value per call. The three strings are public
// because the event sink sets the full path of its own file directly.
class CIniFile {
 public:
  // The directory starts as the module directory; fileName may be null.
  explicit CIniFile(const char* fileName = nullptr);
  virtual ~CIniFile() = default;

  CIniFile(const CIniFile&) = delete;
  CIniFile& operator=(const CIniFile&) = delete;

  // Null means the module directory. A given directory gets one trailing backslash unless its
  // last byte already is one. Always 1.
  int SetDirectory(const char* directory);
  // Always 1.
  int SetFileName(const char* fileName);

  std::uint32_t GetInt(const char* section, const char* key, int defaultValue) const;
  // Writes the value as unsigned decimal text; false when the file could not be written.
  bool WriteInt(const char* section, const char* key, std::uint32_t value) const;

  std::string m_path;       // always m_directory followed by m_fileName after a set operation
  std::string m_directory;  // ends in a backslash once set
  std::string m_fileName;
};
