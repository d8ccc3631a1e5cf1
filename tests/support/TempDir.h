#pragma once

#include <string>

// A fresh directory for one test, removed with everything in it when the object goes.
// Path() ends in the platform's separator, so a file name can be appended directly.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Whole-file helpers for checking what the code under test wrote.
std::string ReadFileBytes(const std::string& path);  // "" when missing
void WriteFileBytes(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
