#pragma once
// Where the host downloader (Torvane) is and which version it is, from the
// key it writes under HKEY_LOCAL_MACHINE. Every function returns 1 on success
// and 0, leaving its out string untouched, when the value is missing, empty or
// too long.

#include <string>

extern const wchar_t host_registry_key[];  // "SOFTWARE\Torvane Network\TorvaneOem\torvane_backwnd"

// A string value of at most 512 bytes, read as stored.
int host_registry_string(const wchar_t* name, std::wstring& out);
// A path value with environment variables expanded, shorter than MAX_PATH.
int host_registry_path(const wchar_t* name, std::wstring& out);

// 1 when "Path" can be read and is not empty.
int host_installed();
// The host's executable ("Path", expanded), for starting it.
int host_path(std::wstring& out);
// "Version" as stored.
int host_version(std::wstring& out);
// "instdir", with a trailing backslash added when missing.
int host_install_folder(std::wstring& out);
// The install folder + "Program\": the engine library and the executable.
int host_program_folder(std::wstring& out);
// "addinsdir" + "\", appended whether or not it already ends in one.
int host_addins_folder(std::wstring& out);
// Part-by-part test of the installed "Version" against required.
int host_version_at_least(const wchar_t* required);
