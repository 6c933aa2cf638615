#pragma once
// Names, folders and files. Both "\" and "/" separate path parts. Functions
// that refuse an empty argument or find no folder part set the thread's last
// error to file_utils_error.

#include <windows.h>

#include <string>

const DWORD file_utils_error = 20100001;

// The text after the last separator, or the whole text.
std::wstring file_name_part(const std::wstring& path);
// The text up to and including the last separator; empty when there is none.
std::wstring folder_part(const std::wstring& path);
// The text after the last "." of the file name part; empty when there is none.
std::wstring file_extension(const std::wstring& path);
// The folder above path, with its separator: C:\a\b\ and C:\a\b both give C:\a\.
std::wstring parent_folder(const std::wstring& path);

int is_folder(const std::wstring& path);
// One level; an existing folder counts as created.
int create_folder(const std::wstring& path);
// Every missing level.
int create_folder_tree(const std::wstring& path);
// Everything inside folder, read-only files too, then folder itself; 1 when it
// is gone. Links to other folders are removed, never followed.
int delete_folder_tree(const std::wstring& folder);
// 1 when no file is left at path.
int delete_file(const std::wstring& path);

// The folder a folder browser opens at: the start path cut back part by part
// until it names an existing folder (or has no separator left), with a
// trailing backslash. Empty for an empty start.
std::wstring folder_browser_start(const std::wstring& start);
// Shows the system's folder browser over owner (the active window when null),
// opening at folder_browser_start(start). 1 and the chosen folder in out, 0
// when cancelled or the choice is not a file-system folder.
int choose_folder(HWND owner, const std::wstring& start, const std::wstring& title,
                  std::wstring& out);
