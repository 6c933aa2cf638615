#pragma once
// Makes sure a host downloader of the required version is installed, then
// loads the download engine from it. Runs on the download worker thread; the
// context gives it the worker's engine, timers, downloads and reports.

#include <windows.h>

#include <string>

namespace qm::win32::net {

class engine_binding;

class environment_context {
  public:
    virtual ~environment_context() = default;
    virtual engine_binding& engine() = 0;
    virtual void host_package(std::wstring& url, std::wstring& required_version) = 0;
    virtual void start_timers() = 0;
    virtual void stop_timers() = 0;
    // Creates the environment task for url in the temporary-files folder and
    // starts it (or runs its installer when an earlier run downloaded it);
    // false when nothing will end preparation (no URL, the engine refused).
    virtual bool start_environment_task(const std::wstring& url) = 0;
    // Starts the installer download (request id 0); false when it cannot run.
    virtual bool download_installer(const std::string& url, const std::wstring& path) = 0;
    // Sends the report "gs=" event, game id, peer id and, when not null,
    // style; nothing when no game id is configured.
    virtual void send_report(const char* event, const char* style) = 0;
    // Asks the user interface; the answer.
    virtual int ask_host_running() = 0;
    virtual void environment_ready(int ok) = 0;
    // The engine's library path as it stands now.
    virtual std::wstring engine_path() = 0;
    // Signalled when the client shuts down: the installer is no longer
    // waited for. Null: never.
    virtual HANDLE stop_event() { return nullptr; }
};

// Shortcuts the silent host installer may add to the common desktop.
extern const wchar_t host_shortcut_name[];    // "Torvane高清影片免费下载"
extern const wchar_t player_shortcut_name[];  // the maker's video player

// "torvane%04d%02d%02d%02d%02d%02d.exe" for a UTC time.
std::wstring installer_file_name(int year, int month, int day, int hour, int minute, int second);
// Whether name is one installer_file_name gives, alone or with ".tmp"
// (compared without regard to case).
bool is_installer_file_name(const std::wstring& name);

class environment_preparation {
  public:
    // How long the silent installer may run.
    static constexpr DWORD installer_wait_ms = 10 * 60 * 1000;

    explicit environment_preparation(environment_context& context) : context_(context) {}

    void prepare();
    // The HTTP installer download ended.
    void installer_downloaded(bool ok, const std::wstring& path);
    void run_installer(const std::wstring& path);

  private:
    void load_and_report();

    environment_context& context_;
};

}  // namespace qm::win32::net
