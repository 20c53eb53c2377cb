#pragma once
#include <string>

namespace testsupport {

// A fresh, empty folder for one test's files; removed again when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Runs a command through the shell; returns its exit status and fills *out with what it printed.
int runCommand(const std::string& command, std::string* out = nullptr);

// True when /usr/bin/python3 can import openpyxl (the independent reader used by a few tests).
bool haveOpenpyxl();

}  // namespace testsupport
