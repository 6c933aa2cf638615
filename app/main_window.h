#pragma once
// The program's one top-level window: titled with the game's window title,
// reachable from a tray icon whose menu opens it or ends the program.
// Closing it only hides it; destroying it ends the message loop.

#include <windows.h>

#include <memory>
#include <string>

class DownloadController;

class MainWindow {
  public:
    MainWindow();
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates, centres and shows the window, with its controller registered
    // as the download service's event sink.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }

    // Releases what the window built, the controller last; the window itself
    // may already be gone.
    void Teardown();

    // The status line under the title band.
    void SetStatus(const std::wstring& text);
    // The tips line, shown once the game's tips file has arrived.
    void ShowTips(const std::wstring& text);

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void Paint();
    void AddTrayIcon();
    void DeleteTrayIcon();
    void ShowTrayMenu();

    HWND hwnd_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HICON icon_ = nullptr;
    bool tray_added_ = false;
    std::unique_ptr<DownloadController> controller_;
    std::wstring status_;
    std::wstring tips_;
    bool tips_shown_ = false;
};
