#pragma once
// The program's one top-level window: titled with the game's window title,
// reachable from a tray icon whose menu opens it or ends the program.
// Closing it only hides it; destroying it ends the message loop.

#include <windows.h>

class MainWindow {
  public:
    MainWindow() = default;
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates, centres and shows the window.
    bool Create(HINSTANCE instance);
    HWND Handle() const { return hwnd_; }

    // Releases what the window built; the window itself may already be gone.
    void Teardown();

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
};
