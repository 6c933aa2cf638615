// Helpers for the stand-in tests: built programs, processes, files and the
// host's registry key.
#pragma once

#include <windows.h>

#include <string>

namespace standin_test {

extern const wchar_t kHostKey[];

// A build-tree path given by the build ("/work/.../x.exe") as a Windows path.
std::wstring built(const char* unix_path);

// Runs a command line and waits for it; the exit code, or -1 when it could
// not be started or did not end within the time (it is then ended).
int run(const std::wstring& command, DWORD timeout_ms = 60000);

// Starts a command line without waiting; the process handle or null.
HANDLE start(const std::wstring& command);

DWORD process_id(const std::wstring& exe_name);  // first match, 0 when none
void end_process(HANDLE process);
void end_processes(const std::wstring& exe_name);

// A host registry value, empty when missing.
std::wstring host_value(const wchar_t* name);
bool host_key_exists();
void delete_host_key();

std::wstring read_utf8(const std::wstring& path);
bool write_bytes(const std::wstring& path, const std::string& bytes);
bool exists(const std::wstring& path);
bool is_folder(const std::wstring& path);
void remove_tree(const std::wstring& path);
std::wstring known_folder(int csidl);
std::wstring temp_folder(const std::wstring& tag);  // a new empty folder, with "\"

// Keeps whatever host registration and shortcuts were there before a test
// and puts them back afterwards, removing what the test installed.
class HostSandbox {
  public:
    HostSandbox();
    ~HostSandbox();
    HostSandbox(const HostSandbox&) = delete;
    HostSandbox& operator=(const HostSandbox&) = delete;

  private:
    bool had_key_ = false;
    std::wstring saved_[4];
    bool had_shortcut_[2] = {};
};

}  // namespace standin_test
