#pragma once
// The texts the game-channel add-in installer writes and reads: the resource
// list, "addin.cfg" and the subscription list. Portable: no Win32.

#include <string>

// The name every copy of the add-in starts with: "ZudUrirOzoduro".
extern const wchar_t addin_name[];

// The one-line resource list naming game_id's two toolbar pictures, as the
// host reads it (the caller has the id in the ANSI code page).
std::string addin_resource_list(const std::string& game_id);

// The id of the game whose copy lives in folder_name: the text after
// "ZudUrirOzoduro". False for a folder that is not a copy, for the bare
// "ZudUrirOzoduro" (no game) and for this game's own copy.
bool other_game_id(const std::wstring& folder_name, const std::wstring& game_id,
                   std::wstring& other_id);

// Makes cfg name this game's copy: game_id goes right after the first
// name="ZudUrirOzoduro and the value of the first show_name="..." becomes
// title (escaped for an XML attribute). Only an attribute name of its own
// counts, so show_name is never taken for name. When either place is
// missing nothing changes and the result is false.
bool rewrite_addin_cfg(std::wstring& cfg, const std::wstring& game_id, const std::wstring& title);

// Whether cfg has the attribute name="value" (or with single quotes, blanks
// around "=" allowed).
bool addin_cfg_has_attribute(const std::wstring& cfg, const std::wstring& name,
                             const std::wstring& value);

// The "subscribe" list with game_id in front ("ID;" + old) unless it already
// holds game_id as one of its ";"-separated entries.
std::wstring subscribe_list_with(const std::wstring& old, const std::wstring& game_id);
