#pragma once
// Folders of this program and of the host downloader, and the host's skin.

#include <string>

// The folder of the executable with a trailing backslash; when the module
// file name cannot be read, the current directory with one. Every local file
// of the program lives there.
std::wstring program_directory();

// The running executable's folder with a trailing backslash.
int executable_folder(std::wstring& out);
// The folder of the module holding this code; the current directory when the
// module cannot be found.
int module_folder(std::wstring& out);
// The temporary-files folder as the system gives it (with a backslash).
int temporary_folder(std::wstring& out);

// The host's "Profiles\" and "Skin\" folders: under the public documents
// folder + "Torvane Network\Torvane\" on systems after 5.x when the host lives
// on the system drive, else under the host's install folder. 0 when the
// install folder is unknown.
int profiles_folder(std::wstring& out);
int skin_folder(std::wstring& out);

// Copies the package into the skin folder (as "(n)" + its name when that
// name is taken) and selects it in the profiles folder's "Config.ini".
int install_skin(const std::wstring& package);

// out = the common desktop folder + "\" + name + ".lnk"; 1 when that exists.
int shortcut_exists(const std::wstring& name, std::wstring& out);
