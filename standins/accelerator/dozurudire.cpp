// dozurudire.exe: stands in for the network-game accelerator. It does
// nothing but stay, so that the client sees it running, until it is ended
// (TerminateProcess, or WM_QUIT posted to its thread).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    return 0;
}
