// access-dump: reads a window's client area through Active Accessibility, the
// way a screen reader in another process does, and prints one line per
// element:
//
//   <depth> <role> name="..." value="..." help="..." state=<a,b|normal> location=x,y,w,h
//
// Usage: access-dump.exe <window title> [--wait <ms>] [--press <help name>]
//   --wait   keeps looking for the window for up to that long (default 0)
//   --press  presses (default action) the first element whose help text is
//            that name, prints "pressed <name>" and dumps nothing else
// Exit codes: 0 done, 1 bad arguments, 2 window not found, 3 the window
// answered with no accessible object, 4 no element with that help name,
// 5 the element refused its default action.
#include <windows.h>

#include <oleacc.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Guards against a tree that loops back on itself.
constexpr int kMaxDepth = 64;
constexpr int kMaxElements = 10000;

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

std::wstring Take(BSTR text) {
    std::wstring out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return out;
}

std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c == L'\n') {
            out += L"\\n";
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring RoleText(LONG role) {
    switch (role) {
        case ROLE_SYSTEM_CLIENT:
            return L"client";
        case ROLE_SYSTEM_WINDOW:
            return L"window";
        case ROLE_SYSTEM_GROUPING:
            return L"grouping";
        case ROLE_SYSTEM_PUSHBUTTON:
            return L"push button";
        case ROLE_SYSTEM_CHECKBUTTON:
            return L"check box";
        case ROLE_SYSTEM_RADIOBUTTON:
            return L"radio button";
        case ROLE_SYSTEM_PROGRESSBAR:
            return L"progress bar";
        case ROLE_SYSTEM_STATICTEXT:
            return L"static text";
        case ROLE_SYSTEM_LINK:
            return L"link";
        case ROLE_SYSTEM_GRAPHIC:
            return L"graphic";
        case ROLE_SYSTEM_TEXT:
            return L"editable text";
        default:
            return L"role" + std::to_wstring(role);
    }
}

std::wstring StateText(LONG state) {
    static const struct {
        LONG bit;
        const wchar_t* name;
    } kNames[] = {
        {STATE_SYSTEM_UNAVAILABLE, L"unavailable"}, {STATE_SYSTEM_SELECTED, L"selected"},
        {STATE_SYSTEM_FOCUSED, L"focused"},         {STATE_SYSTEM_PRESSED, L"pressed"},
        {STATE_SYSTEM_CHECKED, L"checked"},         {STATE_SYSTEM_READONLY, L"readonly"},
        {STATE_SYSTEM_HOTTRACKED, L"hot"},          {STATE_SYSTEM_INVISIBLE, L"invisible"},
        {STATE_SYSTEM_OFFSCREEN, L"offscreen"},     {STATE_SYSTEM_FOCUSABLE, L"focusable"},
        {STATE_SYSTEM_SELECTABLE, L"selectable"},   {STATE_SYSTEM_LINKED, L"linked"},
    };
    std::wstring out;
    LONG rest = state;
    for (const auto& entry : kNames) {
        if (state & entry.bit) {
            out += (out.empty() ? L"" : L",") + std::wstring(entry.name);
            rest &= ~entry.bit;
        }
    }
    if (rest) {
        wchar_t hex[16];
        swprintf(hex, 16, L"0x%lx", static_cast<unsigned long>(rest));
        out += (out.empty() ? L"" : L",") + std::wstring(hex);
    }
    return out.empty() ? L"normal" : out;
}

VARIANT ChildId(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// One element: an object, or a simple element (id) of an object.
struct Element {
    IAccessible* object;
    LONG id;
};

std::wstring Describe(const Element& e, int depth) {
    const VARIANT child = ChildId(e.id);
    BSTR text = nullptr;
    e.object->get_accName(child, &text);
    const std::wstring name = Take(text);
    text = nullptr;
    e.object->get_accValue(child, &text);
    const std::wstring value = Take(text);
    text = nullptr;
    e.object->get_accHelp(child, &text);
    const std::wstring help = Take(text);
    VARIANT role;
    VariantInit(&role);
    const LONG role_value =
        SUCCEEDED(e.object->get_accRole(child, &role)) && role.vt == VT_I4 ? role.lVal : 0;
    VariantClear(&role);
    VARIANT state;
    VariantInit(&state);
    const LONG state_value =
        SUCCEEDED(e.object->get_accState(child, &state)) && state.vt == VT_I4 ? state.lVal : 0;
    VariantClear(&state);
    LONG x = 0, y = 0, w = 0, h = 0;
    e.object->accLocation(&x, &y, &w, &h, child);
    return std::to_wstring(depth) + L" " + RoleText(role_value) + L" name=" + Quoted(name) +
           L" value=" + Quoted(value) + L" help=" + Quoted(help) + L" state=" +
           StateText(state_value) + L" location=" + std::to_wstring(x) + L"," + std::to_wstring(y) +
           L"," + std::to_wstring(w) + L"," + std::to_wstring(h);
}

std::wstring HelpOf(const Element& e) {
    BSTR text = nullptr;
    e.object->get_accHelp(ChildId(e.id), &text);
    return Take(text);
}

class Walker {
  public:
    explicit Walker(const wchar_t* press) : press_(press) {}

    // Depth first from an object; stops early once the element to press is
    // found. Returns false when the walk should stop.
    bool Visit(IAccessible* object, int depth) {
        if (!Reach({object, CHILDID_SELF}, depth)) {
            return false;
        }
        if (depth >= kMaxDepth) {
            return true;
        }
        LONG count = 0;
        if (FAILED(object->get_accChildCount(&count)) || count <= 0) {
            return true;
        }
        std::vector<VARIANT> children(static_cast<size_t>(count));
        LONG got = 0;
        if (FAILED(AccessibleChildren(object, 0, count, children.data(), &got))) {
            return true;
        }
        bool go_on = true;
        for (LONG i = 0; i < got; ++i) {
            VARIANT& child = children[static_cast<size_t>(i)];
            if (go_on && child.vt == VT_DISPATCH && child.pdispVal) {
                IAccessible* inner = nullptr;
                if (SUCCEEDED(child.pdispVal->QueryInterface(__uuidof(IAccessible),
                                                             reinterpret_cast<void**>(&inner)))) {
                    go_on = Visit(inner, depth + 1);
                    inner->Release();
                }
            } else if (go_on && child.vt == VT_I4) {
                go_on = Reach({object, child.lVal}, depth + 1);
            }
            VariantClear(&child);
        }
        return go_on;
    }

    bool found() const { return found_; }
    HRESULT press_result() const { return press_result_; }

  private:
    bool Reach(const Element& e, int depth) {
        if (++count_ > kMaxElements) {
            return false;
        }
        if (!press_) {
            Print(Describe(e, depth));
            return true;
        }
        if (HelpOf(e) != press_) {
            return true;
        }
        found_ = true;
        press_result_ = e.object->accDoDefaultAction(ChildId(e.id));
        return false;
    }

    const wchar_t* press_;
    int count_ = 0;
    bool found_ = false;
    HRESULT press_result_ = E_FAIL;
};

int Usage() {
    Print(L"usage: access-dump.exe <window title> [--wait <ms>] [--press <help name>]");
    return 1;
}

int Run(int argc, wchar_t** argv) {
    const wchar_t* title = nullptr;
    const wchar_t* press = nullptr;
    DWORD wait_ms = 0;
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--press") == 0 && i + 1 < argc) {
            press = argv[++i];
        } else if (wcscmp(argv[i], L"--wait") == 0 && i + 1 < argc) {
            wait_ms = wcstoul(argv[++i], nullptr, 10);
        } else if (!title && argv[i][0] != L'-') {
            title = argv[i];
        } else {
            return Usage();
        }
    }
    if (!title) {
        return Usage();
    }
    const DWORD start = GetTickCount();
    HWND window = FindWindowW(nullptr, title);
    while (!window && GetTickCount() - start < wait_ms) {
        Sleep(50);
        window = FindWindowW(nullptr, title);
    }
    if (!window) {
        Print(L"no window titled " + Quoted(title));
        return 2;
    }
    IAccessible* client = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&client))) ||
        !client) {
        Print(L"the window gave no accessible object");
        return 3;
    }
    Walker walker(press);
    walker.Visit(client, 0);
    client->Release();
    if (!press) {
        return 0;
    }
    if (!walker.found()) {
        Print(L"no element with help " + Quoted(press));
        return 4;
    }
    if (FAILED(walker.press_result())) {
        wchar_t code[16];
        swprintf(code, 16, L"0x%08lx", static_cast<unsigned long>(walker.press_result()));
        Print(L"press " + std::wstring(press) + L" failed: " + code);
        return 5;
    }
    Print(L"pressed " + std::wstring(press));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 3;
    }
    const int code = Run(argc, argv);
    CoUninitialize();
    return code;
}
