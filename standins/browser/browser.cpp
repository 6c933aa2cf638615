// A stand-in for the platform's web browser object, for tests on a machine
// without an HTML engine. It is an in-process server registered (by its own
// DllRegisterServer) under the web browser class of the prefix it is
// installed in. It plays the page's part: on Navigate it asks its client
// site for the document host's UI handler, takes the external object through
// GetExternal and calls its methods by name through IDispatch, exactly as a
// page script calling window.external would, and records what it got. The
// record is read through StandInBrowserRecord, or appended to the file named
// by TESSALY_STANDIN_BROWSER_LOG; StandInBrowserLiveObjects counts the
// browser objects alive.
//
// The page script: the names after "#calls=" in the URL, comma separated
// ("#N" invokes dispatch id N directly), or by default GetDownloadProgress,
// getdownloadprogress, GetPeerId, NoSuchMethod and #3. A URL starting with
// "refuse:" is refused with E_INVALIDARG, as is an empty one.
#include <windows.h>

#include <exdisp.h>
#include <mshtmhst.h>
#include <ole2.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace {

const CLSID kWebBrowserClsid = {
    0x8856f961, 0x340a, 0x11d0, {0xa9, 0x6b, 0x00, 0xc0, 0x4f, 0xd7, 0x05, 0xa2}};
const wchar_t kClassKey[] = L"CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";
const wchar_t kSavedServer[] = L"TessalyStandInSavedServer";
const wchar_t kSavedModel[] = L"TessalyStandInSavedModel";
const wchar_t kPageClass[] = L"TessalyStandInPage";

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
CRITICAL_SECTION g_record_lock;
std::wstring g_record;

void Record(const std::wstring& line) {
    EnterCriticalSection(&g_record_lock);
    g_record += line;
    g_record += L"\n";
    LeaveCriticalSection(&g_record_lock);
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"TESSALY_STANDIN_BROWSER_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return;
    }
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::wstring text = line + L"\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring Hex(HRESULT hr) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::wstring Describe(const VARIANT& value) {
    wchar_t text[64];
    switch (V_VT(&value)) {
        case VT_I4:
            swprintf(text, 64, L"VT_I4 %ld", static_cast<long>(V_I4(&value)));
            return text;
        case VT_BSTR:
            return std::wstring(L"VT_BSTR ") + (V_BSTR(&value) ? V_BSTR(&value) : L"");
        case VT_EMPTY:
            return L"VT_EMPTY";
        default:
            swprintf(text, 64, L"VT %d", static_cast<int>(V_VT(&value)));
            return text;
    }
}

std::vector<std::wstring> ScriptOf(const std::wstring& url) {
    const size_t at = url.find(L"#calls=");
    if (at == std::wstring::npos) {
        return {L"GetDownloadProgress", L"getdownloadprogress", L"GetPeerId", L"NoSuchMethod",
                L"#3"};
    }
    std::vector<std::wstring> names;
    std::wstring rest = url.substr(at + 7);
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t comma = rest.find(L',', start);
        const std::wstring name =
            rest.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (!name.empty()) {
            names.push_back(name);
        }
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    return names;
}

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        HBRUSH page = CreateSolidBrush(RGB(0xF4, 0xF7, 0xFB));
        FillRect(dc, &client, page);
        DeleteObject(page);
        const int length = GetWindowTextLengthW(window);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        GetWindowTextW(window, &text[0], length + 1);
        text.resize(static_cast<size_t>(length));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0x33, 0x44, 0x55));
        RECT inner = {client.left + 16, client.top + 16, client.right - 16, client.bottom - 16};
        DrawTextW(dc, text.c_str(), -1, &inner, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

class Browser final : public IWebBrowser2, public IOleObject, public IOleInPlaceObject {
  public:
    Browser() { ++g_objects; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == __uuidof(IDispatch) || iid == __uuidof(IWebBrowser) ||
            iid == __uuidof(IWebBrowserApp) || iid == __uuidof(IWebBrowser2)) {
            *object = static_cast<IWebBrowser2*>(this);
        } else if (iid == __uuidof(IOleObject)) {
            *object = static_cast<IOleObject*>(this);
        } else if (iid == __uuidof(IOleWindow) || iid == __uuidof(IOleInPlaceObject)) {
            *object = static_cast<IOleInPlaceObject*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) {
            *count = 0;
        }
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    // IWebBrowser: what the page panel calls.
    STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* post,
                          VARIANT* headers) override {
        const std::wstring address = url ? url : L"";
        if (address.empty() || address.compare(0, 7, L"refuse:") == 0) {
            Record(L"refused " + address);
            return E_INVALIDARG;
        }
        url_ = address;
        Record(L"navigate " + address);
        RunPageScript();
        if (window_) {
            SetWindowTextW(window_, page_text_.c_str());
            InvalidateRect(window_, nullptr, TRUE);
        }
        return S_OK;
    }
    STDMETHODIMP get_LocationURL(BSTR* url) override {
        if (!url) {
            return E_POINTER;
        }
        *url = SysAllocString(url_.c_str());
        return *url ? S_OK : E_OUTOFMEMORY;
    }

    // IOleObject: a client site, in-place activation into the site's window.
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        if (site) {
            site->AddRef();
        }
        if (site_) {
            site_->Release();
        }
        site_ = site;
        Record(site ? L"site set" : L"site cleared");
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** site) override {
        if (!site) {
            return E_POINTER;
        }
        *site = site_;
        if (site_) {
            site_->AddRef();
        }
        return S_OK;
    }
    STDMETHODIMP Close(DWORD) override {
        InPlaceDeactivate();
        return S_OK;
    }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* active, LONG, HWND parent,
                        LPCRECT position) override {
        if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW &&
            verb != OLEIVERB_UIACTIVATE) {
            return OLEOBJ_S_INVALIDVERB;
        }
        if (window_) {
            return S_OK;
        }
        IOleClientSite* site = active ? active : site_;
        if (!site || FAILED(site->QueryInterface(__uuidof(IOleInPlaceSite),
                                                 reinterpret_cast<void**>(&in_place_site_)))) {
            in_place_site_ = nullptr;
            return E_UNEXPECTED;
        }
        if (in_place_site_->CanInPlaceActivate() != S_OK) {
            in_place_site_->Release();
            in_place_site_ = nullptr;
            return E_FAIL;
        }
        in_place_site_->OnInPlaceActivate();
        HWND site_window = nullptr;
        in_place_site_->GetWindow(&site_window);
        RECT rect = {0, 0, 0, 0};
        if (position) {
            rect = *position;
        }
        window_ =
            CreateWindowExW(0, kPageClass, page_text_.c_str(), WS_CHILD | WS_VISIBLE, rect.left,
                            rect.top, rect.right - rect.left, rect.bottom - rect.top,
                            site_window ? site_window : parent, nullptr, g_module, nullptr);
        Record(window_ ? L"activated" : L"activation failed");
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return S_OK; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override {
        if (!status) {
            return E_POINTER;
        }
        // As the platform's browser: the site comes before initialisation.
        *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                  OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT;
        return S_OK;
    }

    // IOleWindow and IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) {
            return E_POINTER;
        }
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(WINBOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override {
        if (window_) {
            DestroyWindow(window_);
            window_ = nullptr;
        }
        if (in_place_site_) {
            IOleInPlaceSite* site = in_place_site_;
            in_place_site_ = nullptr;
            site->OnInPlaceDeactivate();
            site->Release();
            Record(L"deactivated");
        }
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override {
        if (window_ && position) {
            MoveWindow(window_, position->left, position->top, position->right - position->left,
                       position->bottom - position->top, TRUE);
        }
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    // What the page panel never calls.
    // IWebBrowser
    STDMETHODIMP GoBack() override { return E_NOTIMPL; }
    STDMETHODIMP GoForward() override { return E_NOTIMPL; }
    STDMETHODIMP GoHome() override { return E_NOTIMPL; }
    STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh2(VARIANT* Level) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP get_Application(IDispatch** ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_Parent(IDispatch** ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_Container(IDispatch** ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_Document(IDispatch** ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* pBool) override { return E_NOTIMPL; }
    STDMETHODIMP get_Type(BSTR* Type) override { return E_NOTIMPL; }
    STDMETHODIMP get_Left(LONG* pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Left(LONG Left) override { return E_NOTIMPL; }
    STDMETHODIMP get_Top(LONG* pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Top(LONG Top) override { return E_NOTIMPL; }
    STDMETHODIMP get_Width(LONG* pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Width(LONG Width) override { return E_NOTIMPL; }
    STDMETHODIMP get_Height(LONG* pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Height(LONG Height) override { return E_NOTIMPL; }
    STDMETHODIMP get_LocationName(BSTR* LocationName) override { return E_NOTIMPL; }
    STDMETHODIMP get_Busy(VARIANT_BOOL* pBool) override { return E_NOTIMPL; }
    // IWebBrowserApp
    STDMETHODIMP Quit() override { return E_NOTIMPL; }
    STDMETHODIMP ClientToWindow(int* pcx, int* pcy) override { return E_NOTIMPL; }
    STDMETHODIMP PutProperty(BSTR Property, VARIANT vtValue) override { return E_NOTIMPL; }
    STDMETHODIMP GetProperty(BSTR Property, VARIANT* pvtValue) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR* Name) override { return E_NOTIMPL; }
    STDMETHODIMP get_HWND(SHANDLE_PTR* pHWND) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullName(BSTR* FullName) override { return E_NOTIMPL; }
    STDMETHODIMP get_Path(BSTR* Path) override { return E_NOTIMPL; }
    STDMETHODIMP get_Visible(VARIANT_BOOL* pBool) override { return E_NOTIMPL; }
    STDMETHODIMP put_Visible(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusBar(VARIANT_BOOL* pBool) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusText(BSTR* StatusText) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusText(BSTR StatusText) override { return E_NOTIMPL; }
    STDMETHODIMP get_ToolBar(int* Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_ToolBar(int Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_MenuBar(VARIANT_BOOL* Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_MenuBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullScreen(VARIANT_BOOL* pbFullScreen) override { return E_NOTIMPL; }
    STDMETHODIMP put_FullScreen(VARIANT_BOOL bFullScreen) override { return E_NOTIMPL; }
    // IWebBrowser2
    STDMETHODIMP Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                           VARIANT* PostData, VARIANT* Headers) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP QueryStatusWB(OLECMDID cmdID, OLECMDF* pcmdf) override { return E_NOTIMPL; }
    STDMETHODIMP ExecWB(OLECMDID cmdID, OLECMDEXECOPT cmdexecopt, VARIANT* pvaIn,
                        VARIANT* pvaOut) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP ShowBrowserBar(VARIANT* pvaClsid, VARIANT* pvarShow, VARIANT* pvarSize) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP get_ReadyState(READYSTATE* plReadyState) override { return E_NOTIMPL; }
    STDMETHODIMP get_Offline(VARIANT_BOOL* pbOffline) override { return E_NOTIMPL; }
    STDMETHODIMP put_Offline(VARIANT_BOOL bOffline) override { return E_NOTIMPL; }
    STDMETHODIMP get_Silent(VARIANT_BOOL* pbSilent) override { return E_NOTIMPL; }
    STDMETHODIMP put_Silent(VARIANT_BOOL bSilent) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* pbRegister) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL* pbRegister) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    STDMETHODIMP get_TheaterMode(VARIANT_BOOL* pbRegister) override { return E_NOTIMPL; }
    STDMETHODIMP put_TheaterMode(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    STDMETHODIMP get_AddressBar(VARIANT_BOOL* Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_AddressBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_Resizable(VARIANT_BOOL* Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_Resizable(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    // IOleObject
    STDMETHODIMP SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP InitFromData(IDataObject* pDataObject, WINBOOL fCreation,
                              DWORD dwReserved) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return E_NOTIMPL; }
    STDMETHODIMP IsUpToDate() override { return E_NOTIMPL; }
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD dwConnection) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override { return E_NOTIMPL; }
    STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override { return E_NOTIMPL; }
    // IOleInPlaceObject

  private:
    ~Browser() {
        InPlaceDeactivate();
        if (site_) {
            site_->Release();
        }
        --g_objects;
    }

    // What a page script does with window.external.
    void RunPageScript() {
        page_text_ = L"Stand-in page: " + url_ + L"\n";
        IDocHostUIHandler* handler = nullptr;
        if (!site_ ||
            FAILED(site_->QueryInterface(__uuidof(IDocHostUIHandler),
                                         reinterpret_cast<void**>(&handler))) ||
            !handler) {
            Record(L"no ui handler");
            return;
        }
        IDispatch* external = nullptr;
        const HRESULT got = handler->GetExternal(&external);
        handler->Release();
        if (FAILED(got) || !external) {
            Record(L"no external " + Hex(got));
            return;
        }
        for (const std::wstring& name : ScriptOf(url_)) {
            DISPID id = DISPID_UNKNOWN;
            HRESULT hr = S_OK;
            if (name[0] == L'#') {
                id = _wtoi(name.c_str() + 1);
            } else {
                LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
                hr = external->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
            }
            std::wstring line = L"call " + name;
            if (FAILED(hr)) {
                line += L" names " + Hex(hr);
            } else {
                DISPPARAMS none = {nullptr, nullptr, 0, 0};
                VARIANT result;
                VariantInit(&result);
                hr = external->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                      &result, nullptr, nullptr);
                line += L" id " + std::to_wstring(id) + L" invoke " + Hex(hr);
                if (SUCCEEDED(hr)) {
                    line += L" " + Describe(result);
                }
                VariantClear(&result);
            }
            Record(line);
            page_text_ += line + L"\n";
        }
        external->Release();
    }

    std::atomic<ULONG> references_{1};
    IOleClientSite* site_ = nullptr;
    IOleInPlaceSite* in_place_site_ = nullptr;
    HWND window_ = nullptr;
    std::wstring url_;
    std::wstring page_text_ = L"Stand-in page";
};

class Factory final : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == __uuidof(IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        Browser* browser = new Browser();
        const HRESULT hr = browser->QueryInterface(iid, object);
        browser->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }
};

Factory g_factory;

std::wstring ReadValue(HKEY key, const wchar_t* name, bool* present) {
    wchar_t data[MAX_PATH * 2] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    *present = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
                   ERROR_SUCCESS &&
               (type == REG_SZ || type == REG_EXPAND_SZ);
    return *present ? data : L"";
}

void WriteValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_record_lock);
        DisableThreadLibraryCalls(instance);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &PageProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        wc.lpszClassName = kPageClass;
        RegisterClassW(&wc);
    } else if (reason == DLL_PROCESS_DETACH) {
        UnregisterClassW(kPageClass, instance);
        DeleteCriticalSection(&g_record_lock);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (clsid != kWebBrowserClsid) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(iid, object);
}

HRESULT WINAPI DllCanUnloadNow() {
    return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

// Takes the web browser class over, keeping the registration it replaces
// so that DllUnregisterServer can put it back.
HRESULT WINAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return E_FAIL;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return E_ACCESSDENIED;
    }
    bool saved = false;
    ReadValue(key, kSavedServer, &saved);
    if (!saved) {
        bool present = false;
        const std::wstring server = ReadValue(key, nullptr, &present);
        WriteValue(key, kSavedServer, present ? server : L"");
        const std::wstring model = ReadValue(key, L"ThreadingModel", &present);
        WriteValue(key, kSavedModel, present ? model : L"");
    }
    WriteValue(key, nullptr, path);
    WriteValue(key, L"ThreadingModel", L"Apartment");
    RegCloseKey(key);
    return S_OK;
}

HRESULT WINAPI DllUnregisterServer() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_READ | KEY_WRITE, &key) !=
        ERROR_SUCCESS) {
        return S_OK;
    }
    bool saved = false;
    const std::wstring server = ReadValue(key, kSavedServer, &saved);
    if (saved) {
        bool present = false;
        const std::wstring model = ReadValue(key, kSavedModel, &present);
        WriteValue(key, nullptr, server);
        WriteValue(key, L"ThreadingModel", model);
        RegDeleteValueW(key, kSavedServer);
        RegDeleteValueW(key, kSavedModel);
    }
    RegCloseKey(key);
    return S_OK;
}

// Browser objects alive in this process.
LONG WINAPI StandInBrowserLiveObjects() {
    return g_objects;
}

// Copies the record (one line per event) into buffer and returns its length
// in characters; with a buffer too small (or null) only the length.
int WINAPI StandInBrowserRecord(wchar_t* buffer, int size) {
    EnterCriticalSection(&g_record_lock);
    const int length = static_cast<int>(g_record.size());
    if (buffer && size > length) {
        wmemcpy(buffer, g_record.c_str(), g_record.size() + 1);
    }
    LeaveCriticalSection(&g_record_lock);
    return length;
}

void WINAPI StandInBrowserClearRecord() {
    EnterCriticalSection(&g_record_lock);
    g_record.clear();
    LeaveCriticalSection(&g_record_lock);
}

}  // extern "C"
