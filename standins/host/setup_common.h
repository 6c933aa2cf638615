// What the stand-in installers share: their command line, the files they
// carry as resources and the careful way those files are put in place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace standin_setup {

enum ExitCode {
    kInstalled = 0,
    kNotSilent = 2,   // only the silent mode ("/S") exists
    kFilesInUse = 3,  // a file to replace stayed in use for the whole wait
    kWriteFailed = 4,
    kRegistryFailed = 5,
    kPayloadMissing = 6,
    kStartFailed = 7,  // the installed program could not be started
};

struct Options {
    bool silent = false;
    std::wstring folder;    // "/D=<folder>", the rest of the command line; else the default
    DWORD wait_ms = 30000;  // "/WAIT=<ms>": how long files in use are waited for
};

Options parse_options(const std::wstring& default_folder);

// The folder for programs, "C:\Program Files" or its equivalent.
std::wstring program_files();

struct File {
    std::wstring relative;  // below the install folder, e.g. "Program\Torvane.exe"
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// The files carried by this executable: RCDATA 1 lists "id|relative path"
// lines (UTF-8); each id is an RCDATA resource with the file's bytes.
bool payload(std::vector<File>& files);

// Waits until no file that is about to be replaced is held by a running
// program (an engine process, a running Torvane.exe). False, with the first
// busy path, when the wait runs out; nothing has been touched then.
bool wait_until_free(const std::wstring& folder, const std::vector<File>& files, DWORD wait_ms,
                     std::wstring& busy);

// Writes each file through a temporary file beside it, so that a failed
// write never leaves a half-written program behind.
bool write_files(const std::wstring& folder, const std::vector<File>& files);

// Creates every missing level of a folder (with or without trailing "\").
bool create_tree(const std::wstring& folder);

}  // namespace standin_setup
