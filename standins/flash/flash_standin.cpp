// A stand-in for the movie player: an in-process server of the player class
// that activates in place as a windowless object only, draws its current
// frame with per-pixel alpha through its view object, and plays movies of
// PNG frames (movie.h) on a thread timer. It counts its live player objects
// and logs the calls it gets, for the tests.
//
// TESSALY_FLASH_STANDIN_FAIL=activate in the environment makes in-place
// activation fail, as a broken player would.
#include <windows.h>

#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>
#include <urlmon.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "skin/bitmap.h"
#include "skin/shockwave_flash.h"
#include "standins/flash/movie.h"

using qm::skin::IShockwaveFlash;
using qm::skin::kIShockwaveFlashIid;
using qm::skin::kShockwaveFlashClsid;

namespace {

HMODULE g_module = nullptr;
std::atomic<LONG> g_live{0};
std::atomic<LONG> g_locks{0};
// All players live on their apartment's one thread; the log is read by the
// tests on the same thread.
std::wstring g_log;

void Log(const std::wstring& entry) {
    if (g_log.size() < (1u << 20)) {
        g_log += entry;
        g_log += L';';
    }
}

std::wstring BoolText(VARIANT_BOOL value) {
    return value ? L"1" : L"0";
}

// The bytes of a movie named by a local path, a file: URL or any URL the
// system's URL loader reaches. Empty when it cannot be read.
std::vector<uint8_t> ReadMovieBytes(const std::wstring& url) {
    std::wstring path = url;
    if (url.compare(0, 8, L"file:///") == 0) {
        path = url.substr(8);
    } else if (url.find(L"://") != std::wstring::npos) {
        wchar_t cached[MAX_PATH] = {};
        if (FAILED(URLDownloadToCacheFileW(nullptr, url.c_str(), cached, MAX_PATH, 0, nullptr))) {
            return {};
        }
        path = cached;
    }
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= (64 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
            read != bytes.size()) {
            bytes.clear();
        }
    }
    CloseHandle(file);
    return bytes;
}

class Player;
std::map<UINT_PTR, Player*>& Timers() {
    static std::map<UINT_PTR, Player*> timers;
    return timers;
}

// One frame as a DIB section for AlphaBlend.
struct FrameBitmap {
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
};

class Player final : public IOleObject,
                     public IViewObject,
                     public IOleInPlaceObjectWindowless,
                     public IShockwaveFlash {
  public:
    Player() { ++g_live; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleObject) {
            *out = static_cast<IOleObject*>(this);
        } else if (iid == IID_IViewObject) {
            *out = static_cast<IViewObject*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject ||
                   iid == IID_IOleInPlaceObjectWindowless) {
            *out = static_cast<IOleInPlaceObjectWindowless*>(this);
        } else if (iid == IID_IDispatch || iid == kIShockwaveFlashIid) {
            *out = static_cast<IShockwaveFlash*>(this);
        } else {
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

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        Log(site ? L"SetClientSite" : L"SetClientSite(null)");
        if (site) {
            site->AddRef();
        }
        if (site_) {
            site_->Release();
        }
        site_ = site;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = site_;
        if (site_) {
            site_->AddRef();
        }
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override {
        Log(L"Close");
        StopTimer();
        playing_ = false;
        InPlaceDeactivate();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override {
        Log(L"DoVerb(" + std::to_wstring(verb) + L")");
        if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW &&
            verb != OLEIVERB_UIACTIVATE) {
            return OLEOBJ_S_INVALIDVERB;
        }
        wchar_t fail[32] = {};
        if (GetEnvironmentVariableW(L"TESSALY_FLASH_STANDIN_FAIL", fail, 32) &&
            std::wstring(fail) == L"activate") {
            return E_FAIL;
        }
        if (active_) {
            return S_OK;
        }
        IOleClientSite* client = site ? site : site_;
        if (!client) {
            return E_UNEXPECTED;
        }
        // Only the windowless way exists here: a host that cannot have a
        // windowless object gets nothing.
        IOleInPlaceSiteWindowless* windowless = nullptr;
        if (FAILED(client->QueryInterface(IID_IOleInPlaceSiteWindowless,
                                          reinterpret_cast<void**>(&windowless)))) {
            return E_NOINTERFACE;
        }
        if (windowless->CanInPlaceActivate() != S_OK ||
            windowless->CanWindowlessActivate() != S_OK) {
            windowless->Release();
            return E_FAIL;
        }
        BOOL no_redraw = FALSE;
        if (FAILED(windowless->OnInPlaceActivateEx(&no_redraw, ACTIVATE_WINDOWLESS))) {
            windowless->Release();
            return E_FAIL;
        }
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position = {0, 0, 0, 0};
        RECT clip = {0, 0, 0, 0};
        OLEINPLACEFRAMEINFO info = {};
        info.cb = sizeof(info);
        if (SUCCEEDED(windowless->GetWindowContext(&frame, &document, &position, &clip, &info))) {
            position_ = position;
        }
        if (frame) {
            frame->Release();
        }
        if (document) {
            document->Release();
        }
        in_place_site_ = windowless;
        active_ = true;
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = kShockwaveFlashClsid;
        return S_OK;
    }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return S_OK; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override {
        if (!status) {
            return E_POINTER;
        }
        *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                  OLEMISC_RECOMPOSEONRESIZE | OLEMISC_INSIDEOUT;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IViewObject: the current frame, scaled to fit the bounds keeping its
    // shape and centred, blended with its own alpha; in windowed mode over
    // the background colour.
    STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds,
                      LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override {
        if (aspect != DVASPECT_CONTENT) {
            return DV_E_DVASPECT;
        }
        if (!dc || !bounds) {
            return E_INVALIDARG;
        }
        const LONG bw = bounds->right - bounds->left;
        const LONG bh = bounds->bottom - bounds->top;
        if (bw <= 0 || bh <= 0) {
            return S_OK;
        }
        if (wmode_ != L"transparent") {
            const RECT all = {bounds->left, bounds->top, bounds->right, bounds->bottom};
            const COLORREF colour =
                RGB((background_ >> 16) & 0xFF, (background_ >> 8) & 0xFF, background_ & 0xFF);
            HBRUSH brush = CreateSolidBrush(colour);
            FillRect(dc, &all, brush);
            DeleteObject(brush);
        }
        if (frames_.empty()) {
            return S_OK;
        }
        const FrameBitmap& frame = frames_[current_ % frames_.size()];
        LONG dw = bw;
        LONG dh = bh;
        if (scale_ == L"showAll" || scale_.empty()) {
            // The largest size of the frame's shape that fits.
            if (static_cast<int64_t>(bw) * frame.height > static_cast<int64_t>(bh) * frame.width) {
                dw = static_cast<LONG>(static_cast<int64_t>(bh) * frame.width / frame.height);
            } else {
                dh = static_cast<LONG>(static_cast<int64_t>(bw) * frame.height / frame.width);
            }
        }
        const LONG x = bounds->left + (bw - dw) / 2;
        const LONG y = bounds->top + (bh - dh) / 2;
        HDC source = CreateCompatibleDC(dc);
        if (!source) {
            return E_OUTOFMEMORY;
        }
        HGDIOBJ old = SelectObject(source, frame.bitmap);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        const BOOL ok =
            AlphaBlend(dc, x, y, dw, dh, source, 0, 0, frame.width, frame.height, blend);
        SelectObject(source, old);
        DeleteDC(source);
        ++draws_;
        return ok ? S_OK : E_FAIL;
    }
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }

    // IOleWindow: a windowless object has no window.
    STDMETHODIMP GetWindow(HWND*) override { return E_FAIL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override {
        if (!active_) {
            return S_OK;
        }
        Log(L"InPlaceDeactivate");
        active_ = false;
        if (in_place_site_) {
            IOleInPlaceSiteWindowless* site = in_place_site_;
            in_place_site_ = nullptr;
            site->OnInPlaceDeactivate();
            site->Release();
        }
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override {
        if (position) {
            position_ = *position;
        }
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    // IOleInPlaceObjectWindowless
    STDMETHODIMP OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }
    STDMETHODIMP GetDropTarget(IDropTarget**) override { return E_NOTIMPL; }

    // IDispatch: the stand-in is driven through its vtable only.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) {
            *count = 0;
        }
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    // IShockwaveFlash
    STDMETHODIMP get_Playing(VARIANT_BOOL* out) override { return IsPlaying(out); }
    STDMETHODIMP put_Playing(VARIANT_BOOL playing) override { return playing ? Play() : Stop(); }
    STDMETHODIMP get_Quality2(BSTR* out) override { return Text(quality_, out); }
    STDMETHODIMP put_Quality2(BSTR value) override { return SetText(L"Quality", value, &quality_); }
    STDMETHODIMP get_BackgroundColor(long* out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = background_;
        return S_OK;
    }
    STDMETHODIMP put_BackgroundColor(long colour) override {
        Log(L"BackgroundColor=" + std::to_wstring(colour));
        background_ = colour;
        return S_OK;
    }
    STDMETHODIMP get_Movie(BSTR* out) override { return Text(movie_, out); }
    STDMETHODIMP put_Movie(BSTR url) override {
        const std::wstring name = url ? url : L"";
        Log(L"Movie=" + name);
        StopTimer();
        playing_ = false;
        FreeFrames();
        movie_ = name;
        current_ = 0;
        const std::vector<uint8_t> bytes = ReadMovieBytes(name);
        flash_standin::Movie movie;
        if (bytes.empty() || !flash_standin::ParseMovie(bytes.data(), bytes.size(), &movie)) {
            Log(L"MovieFailed");
            Invalidate();
            return E_FAIL;
        }
        frame_ms_ = movie.frame_ms;
        for (qm::skin::Bitmap* source : movie.frames) {
            FrameBitmap frame = MakeFrame(source);
            if (!frame.bitmap) {
                FreeFrames();
                return E_OUTOFMEMORY;
            }
            frames_.push_back(frame);
        }
        Invalidate();
        return S_OK;
    }
    STDMETHODIMP Play() override {
        Log(L"Play");
        if (frames_.empty()) {
            return S_OK;
        }
        playing_ = true;
        if (!timer_ && frames_.size() > 1) {
            timer_ = SetTimer(nullptr, 0, frame_ms_, &Player::OnTimer);
            if (timer_) {
                Timers()[timer_] = this;
            }
        }
        Invalidate();
        return S_OK;
    }
    STDMETHODIMP Stop() override {
        Log(L"Stop");
        StopTimer();
        playing_ = false;
        return S_OK;
    }
    STDMETHODIMP IsPlaying(VARIANT_BOOL* out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = playing_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP get_WMode(BSTR* out) override { return Text(wmode_, out); }
    STDMETHODIMP put_WMode(BSTR value) override { return SetText(L"WMode", value, &wmode_); }
    STDMETHODIMP get_SAlign(BSTR* out) override { return Text(align_, out); }
    STDMETHODIMP put_SAlign(BSTR value) override { return SetText(L"SAlign", value, &align_); }
    STDMETHODIMP get_Menu(VARIANT_BOOL* out) override { return Flag(menu_, out); }
    STDMETHODIMP put_Menu(VARIANT_BOOL value) override {
        Log(L"Menu=" + BoolText(value));
        menu_ = value;
        return S_OK;
    }
    STDMETHODIMP get_Scale(BSTR* out) override { return Text(scale_, out); }
    STDMETHODIMP put_Scale(BSTR value) override { return SetText(L"Scale", value, &scale_); }
    STDMETHODIMP get_EmbedMovie(VARIANT_BOOL* out) override { return Flag(embed_, out); }
    STDMETHODIMP put_EmbedMovie(VARIANT_BOOL value) override {
        Log(L"EmbedMovie=" + BoolText(value));
        embed_ = value;
        return S_OK;
    }

  private:
    ~Player() {
        StopTimer();
        FreeFrames();
        if (in_place_site_) {
            in_place_site_->Release();
        }
        if (site_) {
            site_->Release();
        }
        --g_live;
    }

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        const auto it = Timers().find(id);
        if (it == Timers().end()) {
            return;
        }
        Player* player = it->second;
        player->current_ = (player->current_ + 1) % player->frames_.size();
        player->Invalidate();
    }

    void StopTimer() {
        if (timer_) {
            KillTimer(nullptr, timer_);
            Timers().erase(timer_);
            timer_ = 0;
        }
    }

    void Invalidate() {
        if (in_place_site_ && active_) {
            in_place_site_->InvalidateRect(nullptr, FALSE);
        }
    }

    static FrameBitmap MakeFrame(qm::skin::Bitmap* source) {
        FrameBitmap frame;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = source->width();
        info.bmiHeader.biHeight = -source->height();
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        frame.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!frame.bitmap || !bits) {
            return FrameBitmap{};
        }
        for (int32_t y = 0; y < source->height(); ++y) {
            std::memcpy(static_cast<uint8_t*>(bits) + static_cast<size_t>(y) * source->width() * 4,
                        source->Row(y), static_cast<size_t>(source->width()) * 4);
        }
        frame.width = source->width();
        frame.height = source->height();
        return frame;
    }

    void FreeFrames() {
        for (FrameBitmap& frame : frames_) {
            DeleteObject(frame.bitmap);
        }
        frames_.clear();
    }

    static HRESULT Text(const std::wstring& value, BSTR* out) {
        if (!out) {
            return E_POINTER;
        }
        *out = SysAllocString(value.c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Flag(VARIANT_BOOL value, VARIANT_BOOL* out) {
        if (!out) {
            return E_POINTER;
        }
        *out = value;
        return S_OK;
    }
    static HRESULT SetText(const wchar_t* name, BSTR value, std::wstring* field) {
        *field = value ? value : L"";
        Log(std::wstring(name) + L"=" + *field);
        return S_OK;
    }

    std::atomic<ULONG> references_{1};
    IOleClientSite* site_ = nullptr;
    IOleInPlaceSiteWindowless* in_place_site_ = nullptr;
    bool active_ = false;
    bool playing_ = false;
    RECT position_ = {0, 0, 0, 0};
    std::wstring movie_;
    std::wstring wmode_ = L"window";
    std::wstring scale_ = L"showAll";
    std::wstring align_;
    std::wstring quality_ = L"high";
    long background_ = -1;
    VARIANT_BOOL menu_ = VARIANT_TRUE;
    VARIANT_BOOL embed_ = VARIANT_FALSE;
    std::vector<FrameBitmap> frames_;
    size_t current_ = 0;
    UINT frame_ms_ = 40;
    UINT_PTR timer_ = 0;
    int draws_ = 0;
};

class ClassFactory final : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: it lives as long as the module.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        Log(L"CreateInstance");
        Player* player = new (std::nothrow) Player();
        if (!player) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = player->QueryInterface(iid, out);
        player->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ++g_locks;
        } else {
            --g_locks;
        }
        return S_OK;
    }
};

ClassFactory g_factory;

const wchar_t kClsidKey[] = L"Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
const wchar_t kProgIdKey[] = L"Software\\Classes\\ShockwaveFlash.ShockwaveFlash";

LONG SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LONG status =
        RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status;
}

LONG RegisterUnder(HKEY root, const std::wstring& path) {
    const std::wstring clsid = kClsidKey;
    const std::wstring progid = kProgIdKey;
    LONG status = SetValue(root, clsid, nullptr, L"Shockwave Flash Object");
    if (status == ERROR_SUCCESS) {
        status = SetValue(root, clsid + L"\\InprocServer32", nullptr, path);
    }
    if (status == ERROR_SUCCESS) {
        status = SetValue(root, clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    }
    if (status == ERROR_SUCCESS) {
        status = SetValue(root, clsid + L"\\ProgID", nullptr, L"ShockwaveFlash.ShockwaveFlash");
    }
    if (status == ERROR_SUCCESS) {
        status =
            SetValue(root, progid + L"\\CLSID", nullptr, L"{D27CDB6E-AE6D-11CF-96B8-444553540000}");
    }
    return status;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (clsid != kShockwaveFlashClsid) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() {
    return g_live == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

// Registers the player class for the whole machine, as an installer run by
// an administrator would; for the user alone where that is refused.
STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return SELFREG_E_CLASS;
    }
    if (RegisterUnder(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS ||
        RegisterUnder(HKEY_CURRENT_USER, path) == ERROR_SUCCESS) {
        return S_OK;
    }
    return SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RegDeleteTreeW(root, kClsidKey);
        RegDeleteTreeW(root, kProgIdKey);
    }
    return S_OK;
}

// The player objects alive in this process.
LONG TessalyFlashLiveObjects() {
    return g_live;
}

// Copies the call log ("name=value;" entries in call order) into buffer and
// returns its full length in characters.
int TessalyFlashCallLog(wchar_t* buffer, int size) {
    if (buffer && size > 0) {
        const size_t n = g_log.size() < static_cast<size_t>(size - 1)
                             ? g_log.size()
                             : static_cast<size_t>(size - 1);
        std::memcpy(buffer, g_log.data(), n * sizeof(wchar_t));
        buffer[n] = L'\0';
    }
    return static_cast<int>(g_log.size());
}

void TessalyFlashClearLog() {
    g_log.clear();
}

}  // extern "C"
