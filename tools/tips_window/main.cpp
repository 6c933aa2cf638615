// tips-window: the tips window on its own, for trying it by hand:
//   tips-window.exe [URL [TITLE]]
// It opens the window with the game title (default "演示游戏") and navigates
// its page to URL (none: the page stays blank); the page's script gets 42 as
// the download's percent and this machine's peer id. Ends when the window
// is closed. The artwork and the icon are read beside the program.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "app/tips_script.h"
#include "app/tips_window.h"
#include "host/host_paths.h"
#include "skin/skin_startup.h"

namespace {

class Source : public TipsSource {
  public:
    int TipsPercent() override { return 42; }
    std::wstring TipsPeerId() override { return ServicePeerId(); }
};

}  // namespace

int wmain() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring url = argv && argc > 1 ? argv[1] : L"";
    const std::wstring title = argv && argc > 2 ? argv[2] : L"演示游戏";
    if (argv) {
        LocalFree(argv);
    }
    SetCurrentDirectoryW(program_directory().c_str());
    CoInitialize(nullptr);
    InitializeSkin();
    int result = 1;
    {
        Source source;
        TipsWindow tips;
        tips.SetUrl(url);
        if (tips.Create(nullptr, title, &source)) {
            result = 0;
            MSG msg;
            while (!tips.IsClosed() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    ShutdownSkin();
    CoUninitialize();
    return result;
}
