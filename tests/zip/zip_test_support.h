#pragma once
// Shared by the zip tests: where the generated archives are, reading files,
// and keeping the process's current directory, which every extraction moves.

#include <windows.h>

#include <string>

namespace zip_test {

// The folder of the generated archives, as a Windows path with a backslash.
std::wstring archives();
// The archive's path in the ANSI code page, as the entry takes it.
std::string archive(const char* name);

std::string read_file(const std::wstring& path);
std::wstring current_directory();  // with a trailing backslash

// Puts the current directory back at the end of a test, so that the test's
// folders can be removed.
class KeepCurrentDirectory {
  public:
    KeepCurrentDirectory() : saved_(current_directory()) {}
    ~KeepCurrentDirectory() { SetCurrentDirectoryW(saved_.c_str()); }
    KeepCurrentDirectory(const KeepCurrentDirectory&) = delete;
    KeepCurrentDirectory& operator=(const KeepCurrentDirectory&) = delete;

  private:
    std::wstring saved_;
};

}  // namespace zip_test
