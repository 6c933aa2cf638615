#pragma once
// Scratch folders and a stand-in host registry key for the host tests.

#include <windows.h>

#include <string>
#include <vector>

// A fresh folder under base (the temporary folder by default) that is
// removed with everything in it at the end. path() ends in a backslash.
class TestFolder {
  public:
    explicit TestFolder(const std::wstring& base = std::wstring());
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::wstring& path() const { return path_; }

  private:
    std::wstring path_;
};

// A fixed drive other than the system's where a folder can be made (Wine's
// Z: is the Linux root), as "X:\tmp\" or "X:\"; empty when there is none.
std::wstring other_drive_base();

bool write_file(const std::wstring& path, const std::string& content);
bool file_exists(const std::wstring& path);
std::wstring ini_value(const std::wstring& file, const wchar_t* section, const wchar_t* key);

// Sets values of the host's registry key for one test and puts back whatever
// was there before (deleting what was not).
class FakeHostKey {
  public:
    FakeHostKey();
    ~FakeHostKey();
    FakeHostKey(const FakeHostKey&) = delete;
    FakeHostKey& operator=(const FakeHostKey&) = delete;

    bool set(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ);
    bool remove(const wchar_t* name);

  private:
    struct Saved {
        std::wstring name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };
    void save(const wchar_t* name);

    HKEY key_ = nullptr;
    std::vector<std::wstring> created_keys_;
    std::vector<Saved> saved_;
};
