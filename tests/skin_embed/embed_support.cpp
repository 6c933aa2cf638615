#include "tests/skin_embed/embed_support.h"

#include <gtest/gtest.h>

#include "skin/control_factory.h"
#include "skin/skin_startup.h"

namespace qm::skin::embed_test {

namespace {

typedef HRESULT(WINAPI* Entry)();
typedef LONG(WINAPI* CountEntry)();
typedef int(WINAPI* RecordEntry)(wchar_t*, int);
typedef void(WINAPI* ClearEntry)();

HMODULE g_browser = nullptr;
bool g_registered = false;

template <class F>
F Proc(const char* name) {
    return g_browser ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_browser, name)))
                     : nullptr;
}

// The skin library as the client starts it, and the stand-in browser in the
// place of the platform's for as long as the program runs.
class EmbedEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        CoInitialize(nullptr);
        InitializeSkin();
        g_browser = LoadLibraryW(TESSALY_STANDIN_BROWSER_DLL);
        if (g_browser) {
            auto reg = Proc<Entry>("DllRegisterServer");
            g_registered = reg && SUCCEEDED(reg());
        }
    }
    void TearDown() override {
        if (g_browser && g_registered) {
            auto unreg = Proc<Entry>("DllUnregisterServer");
            if (unreg) {
                unreg();
            }
        }
        ShutdownSkin();
        CoUninitialize();
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new EmbedEnvironment());

}  // namespace

bool StandInRegistered() {
    return g_registered;
}

long LiveBrowsers() {
    auto count = Proc<CountEntry>("StandInBrowserLiveObjects");
    return count ? count() : -1;
}

std::wstring BrowserRecord() {
    auto record = Proc<RecordEntry>("StandInBrowserRecord");
    if (!record) {
        return L"";
    }
    const int length = record(nullptr, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    record(&text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

void ClearBrowserRecord() {
    auto clear = Proc<ClearEntry>("StandInBrowserClearRecord");
    if (clear) {
        clear();
    }
}

bool RecordHas(const std::wstring& line) {
    return (L"\n" + BrowserRecord()).find(L"\n" + line + L"\n") != std::wstring::npos;
}

bool RunUnix(const std::wstring& command) {
    std::wstring line = L"start.exe /wait /unix " + command;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    const bool ended =
        PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended;
}

TestWindow::TestWindow() {
    Control* root = nullptr;
    if (CreateControl(kLayoutControlType, &root)) {
        root->SetLayout("inherite", nullptr);
        root->SetName("UIRoot");
        root_ = root;
    }
}

TestWindow::~TestWindow() {
    if (window_.hwnd()) {
        DestroyWindow(window_.hwnd());
    }
    if (root_) {
        root_->Destroy();
        root_->Release();
    }
}

HWND TestWindow::Create(const RECT& rect) {
    window_.SetRoot(root_);
    if (!window_.Create(nullptr, rect, L"Tessaly embed test")) {
        return nullptr;
    }
    ShowWindow(window_.hwnd(), SW_SHOW);
    UpdateWindow(window_.hwnd());
    return window_.hwnd();
}

Control* MakeControl(int32_t type, const char* name, const RECT& rect, Control* parent) {
    Control* control = nullptr;
    if (!CreateControl(type, &control)) {
        return nullptr;
    }
    control->SetName(name);
    control->SetLayout("relative:ltlt", &rect);
    if (parent) {
        parent->AddChild(control);
    }
    return control;
}

STDMETHODIMP CountingDispatch::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == __uuidof(IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CountingDispatch::GetTypeInfoCount(UINT* count) {
    if (count) {
        *count = 0;
    }
    return S_OK;
}

}  // namespace qm::skin::embed_test
