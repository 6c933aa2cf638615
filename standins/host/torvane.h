// Torvane.exe, the host downloader's stand-in: pieces shared by its files.
#pragma once

#include <windows.h>

#include <string>

namespace torvane {

// The folder of Torvane.exe, with a trailing backslash.
const std::wstring& own_folder();

// Appends "<pid>\t<event>\t<detail>" and CRLF, in UTF-8, to "Torvane.log"
// in the executable's folder. Each line goes out in one write, so lines of
// instances running at the same time do not mix.
void log_event(const std::wstring& event, const std::wstring& detail);

std::string to_utf8(const std::wstring& text);
std::wstring from_utf8(const std::string& text);
std::string to_ansi(const std::wstring& text);
std::wstring from_ansi(const std::string& text);

bool file_exists(const std::wstring& path);

// -NetGameCmd: reads the hand-over file and finishes its downloads through
// the engine in the executable's folder. Returns the process exit code.
int run_net_game(const std::wstring& task_file, const std::wstring& select_my_download);

}  // namespace torvane
