#pragma once
// "GameInfo.xml" beside the program is either the publisher's (placed there
// with the copy, used as it is) or one the client downloaded itself (asked for
// again on every start, removed when it turns out unusable). The client
// records each file it downloaded in "db.ini", section "GameInfo": its size
// and last-write time. A file that matches the record is the client's; any
// other file, or one without a record, is the publisher's.

#include <string>

namespace qm::win32::net {

// db is the path of "db.ini".
bool game_info_downloaded(const std::wstring& path, const std::wstring& db);
// After a download (or a 304 that kept the file): path is now the client's.
void record_game_info_download(const std::wstring& path, const std::wstring& db);

// For the user interface when the configuration at path does not parse:
// removes it when the client downloaded it, so the next start fetches it
// again; a publisher's file stays. True when the file was removed.
bool discard_downloaded_game_info(const std::wstring& path);

}  // namespace qm::win32::net
