// window-probe TITLE [--press HELP]: what another process sees of a skinned
// window, for the tests that drive skin-gallery.exe. Prints, as UTF-8:
//   window L T R B enabled E
//   owned L T R B enabled E caption C      (each visible window it owns)
//   element help=H role=R state=S name=N value=V at L T W H
// the last for every element of the window's accessible tree, depth first.
// --press HELP presses the element with that help text (its default action).
// Exit code 0, or 1 when the window is not there.
#include <windows.h>

#include <oleacc.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring Take(BSTR text) {
    std::wstring out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return out;
}

void PrintWindow(const char* kind, HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    wchar_t caption[256] = {};
    GetWindowTextW(hwnd, caption, 256);
    std::printf("%s %ld %ld %ld %ld enabled %d caption %s\n", kind, r.left, r.top, r.right,
                r.bottom, IsWindowEnabled(hwnd) ? 1 : 0, Utf8(caption).c_str());
}

struct Owned {
    HWND owner;
};

BOOL CALLBACK EachTopLevel(HWND hwnd, LPARAM data) {
    const auto* owned = reinterpret_cast<const Owned*>(data);
    if (GetWindow(hwnd, GW_OWNER) == owned->owner && IsWindowVisible(hwnd)) {
        PrintWindow("owned", hwnd);
    }
    return TRUE;
}

const std::wstring* g_press = nullptr;
bool g_pressed = false;

void Element(IAccessible* acc, VARIANT self) {
    BSTR text = nullptr;
    acc->get_accHelp(self, &text);
    const std::wstring help = Take(text);
    text = nullptr;
    acc->get_accName(self, &text);
    const std::wstring name = Take(text);
    text = nullptr;
    acc->get_accValue(self, &text);
    const std::wstring value = Take(text);
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    acc->get_accRole(self, &role);
    acc->get_accState(self, &state);
    long x = 0, y = 0, w = 0, h = 0;
    acc->accLocation(&x, &y, &w, &h, self);
    std::printf("element help=%s role=%ld state=0x%lx name=%s value=%s at %ld %ld %ld %ld\n",
                Utf8(help).c_str(), role.vt == VT_I4 ? role.lVal : -1L,
                state.vt == VT_I4 ? static_cast<unsigned long>(state.lVal) : 0UL,
                Utf8(name).c_str(), Utf8(value).c_str(), x, y, w, h);
    if (g_press && !g_pressed && help == *g_press) {
        g_pressed = true;
        const HRESULT hr = acc->accDoDefaultAction(self);
        std::printf("pressed %s 0x%lx\n", Utf8(help).c_str(), static_cast<unsigned long>(hr));
    }
}

void Walk(IAccessible* acc, int depth) {
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    Element(acc, self);
    long count = 0;
    if (depth > 32 || FAILED(acc->get_accChildCount(&count)) || count <= 0) {
        return;
    }
    VARIANT* children = new VARIANT[static_cast<size_t>(count)];
    long obtained = 0;
    if (SUCCEEDED(AccessibleChildren(acc, 0, count, children, &obtained))) {
        for (long i = 0; i < obtained; ++i) {
            if (children[i].vt == VT_DISPATCH && children[i].pdispVal) {
                IAccessible* child = nullptr;
                if (SUCCEEDED(children[i].pdispVal->QueryInterface(
                        __uuidof(IAccessible), reinterpret_cast<void**>(&child)))) {
                    Walk(child, depth + 1);
                    child->Release();
                }
            } else if (children[i].vt == VT_I4) {
                Element(acc, children[i]);
            }
            VariantClear(&children[i]);
        }
    }
    delete[] children;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) {
        std::fputs("usage: window-probe TITLE [--press HELP]\n", stderr);
        return 2;
    }
    std::wstring press;
    if (argc >= 4 && std::wstring(argv[2]) == L"--press") {
        press = argv[3];
        g_press = &press;
    }
    HWND hwnd = FindWindowW(nullptr, argv[1]);
    if (!hwnd) {
        std::printf("no window\n");
        return 1;
    }
    PrintWindow("window", hwnd);
    Owned owned = {hwnd};
    EnumWindows(&EachTopLevel, reinterpret_cast<LPARAM>(&owned));
    CoInitialize(nullptr);
    IAccessible* acc = nullptr;
    if (SUCCEEDED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                             __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&acc))) &&
        acc) {
        Walk(acc, 0);
        acc->Release();
    }
    CoUninitialize();
    std::fflush(stdout);
    LocalFree(argv);
    return 0;
}
