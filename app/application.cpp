#include "app/application.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/app_module.h"
#include "app/crash_marker.h"
#include "app/game_config.h"
#include "app/main_window.h"
#include "host/host_paths.h"
#include "service/dl_api.h"
#include "skin/skin_startup.h"

int RunApplication(LPWSTR, int) {
    GameConfig& config = GameConfig::Instance();
    config.Load(program_directory() + L"tessaly.ini");

    const std::wstring mutex_name = L"Tessaly" + config.GameId();
    HANDLE mutex = CreateMutexW(nullptr, TRUE, mutex_name.c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        // FindWindow also finds a window hidden to the tray.
        if (HWND running = FindWindowW(nullptr, config.WindowTitle().c_str())) {
            ShowWindow(running, SW_RESTORE);
            SetForegroundWindow(running);
        }
        return 0;
    }
    // Without a mutex the copy still runs, only unprotected.

    AppModule& module = AppModule::Instance();
    MessageLoop loop;
    module.AddMessageLoop(&loop);

    auto window = std::make_unique<MainWindow>();
    if (window->Create(module.ModuleInstance())) {
        // The configuration arrives later, as on_game_info.
        dl_init(config.ConfigurationUrl().c_str());
        loop.Run();
    }
    window->Teardown();
    dl_uninit();

    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    module.RemoveMessageLoop();
    window.reset();
    return 0;
}

int RunProcess(HINSTANCE instance, LPWSTR command_line, int show_command) {
    // Failures (a drive without media, a library that cannot load) come back
    // as error codes; the system shows no box of its own.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    InstallCrashFilter();
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    AppModule::Instance().Init(instance);
    InitializeSkin();

    const int result = RunApplication(command_line, show_command);

    ShutdownSkin();
    AppModule::Instance().Term();
    CoUninitialize();
    RestoreCrashFilter();
    return result;
}
