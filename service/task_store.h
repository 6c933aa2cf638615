#pragma once
// Tasks across restarts ("db.ini") and the hand-over file for the host
// downloader ("gametaskinfo.ini"). Both are profile files.

#include <cstdint>
#include <string>
#include <vector>

namespace qm::win32::net {

class download_task;
class task_list;

// Reads the unsigned decimal text of a stored number; anything else (signs,
// letters, blanks, more than fits in 64 bits) reads as 0.
std::uint64_t parse_stored_number(const std::wstring& text);

class task_store {
  public:
    void set_path(const std::wstring& db_path) { path_ = db_path; }
    const std::wstring& path() const { return path_; }

    void save_all(task_list& list);
    // Takes the task's lock only to copy it; the file is written without.
    void save_one(download_task& task, int index);
    void load_all(task_list& list);

  private:
    std::wstring read(const wchar_t* section, const wchar_t* key);
    void write(const wchar_t* section, const wchar_t* key, const std::wstring& value);

    std::wstring path_;
    wchar_t buffer_[2048] = {};
};

// One entry of the hand-over file: the configured URL and the task's file.
struct transfer_entry {
    std::wstring url;
    std::wstring path;  // folder + file name
    int state = 0;
};

// Writes "gametaskinfo.ini" at path; 1 when it lists an unfinished task.
// Nothing is written when the entries do not match the configured URLs.
int write_transfer_file(const std::wstring& path, const std::wstring& game_id,
                        const std::vector<transfer_entry>& entries, std::size_t url_count);

}  // namespace qm::win32::net
