#include "orientation/IniFile.h"

#include "common/Format.h"
#include "common/ModuleDirectory.h"
#include "orientation/Profile.h"

CIniFile::CIniFile(const char* fileName) {
  SetDirectory(nullptr);
  if (fileName != nullptr) SetFileName(fileName);
}

int CIniFile::SetDirectory(const char* directory) {
  if (directory == nullptr) {
    m_directory = GetModuleDirectory(true);
  } else {
    m_directory = directory;
    // Only the last byte is looked at here: a double-byte character ending in 0x5C counts.
    if (m_directory.empty() || m_directory.back() != '\\') m_directory += '\\';
  }
  m_path = m_directory + m_fileName;
  return 1;
}

int CIniFile::SetFileName(const char* fileName) {
  m_fileName = fileName;
  m_path = m_directory + m_fileName;
  return 1;
}

std::uint32_t CIniFile::GetInt(const char* section, const char* key, int defaultValue) const {
  return profile::ReadInt(section, key, defaultValue, m_path.c_str());
}

bool CIniFile::WriteInt(const char* section, const char* key, std::uint32_t value) const {
  const std::string text = FormatString("%lu", static_cast<unsigned long>(value));
  return profile::WriteString(section, key, text.c_str(), m_path.c_str());
}
