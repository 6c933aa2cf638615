#include "skin/flash_control.h"

#include <cstring>

#include "skin/bitmap.h"
#include "skin/two_pass_alpha.h"

namespace qm::skin {

namespace {

const wchar_t kHostClassName[] = L"TessalyMoviePlayerHost";

ATOM RegisterHostClass(WNDPROC procedure) {
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kHostClassName;
        atom = RegisterClassExW(&wc);
        if (!atom && GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
            atom = 1;
        }
    }
    return atom;
}

// Sets a BSTR property; a BSTR that cannot be made counts as the call failing.
HRESULT PutText(IShockwaveFlash* flash, HRESULT (STDMETHODCALLTYPE IShockwaveFlash::*put)(BSTR),
                const wchar_t* text) {
    BSTR value = SysAllocString(text);
    if (!value) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = (flash->*put)(value);
    SysFreeString(value);
    return hr;
}

template <class T>
void ReleaseAndClear(T** pointer) {
    if (*pointer) {
        T* object = *pointer;
        *pointer = nullptr;
        object->Release();
    }
}

}  // namespace

// ---- FlashPlayerHost -------------------------------------------------------

int FlashPlayerHost::Surface::Make(int w, int h) {
    if (bits && width == w && height == h) {
        return 1;
    }
    Free();
    if (w <= 0 || h <= 0) {
        return 0;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0) : nullptr;
    if (!bitmap || !pixels) {
        Free();
        return 0;
    }
    old = SelectObject(dc, bitmap);
    bits = static_cast<uint32_t*>(pixels);
    width = w;
    height = h;
    return 1;
}

void FlashPlayerHost::Surface::Free() {
    if (dc && old) {
        SelectObject(dc, old);
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    if (dc) {
        DeleteDC(dc);
    }
    *this = Surface{};
}

FlashPlayerHost* FlashPlayerHost::Create() {
    return new FlashPlayerHost();
}

FlashPlayerHost::~FlashPlayerHost() {
    // Normally the window went first (Close). If not, it must no longer
    // reach this object while it is taken down.
    if (window_) {
        HWND window = window_;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        KillTimer(window, kFrameTimerId);
        window_ = nullptr;
        DestroyWindow(window);
    }
    ShutDownPlayer();
    black_.Free();
    white_.Free();
    frame_.Free();
    snapshot_.Free();
    composite_.Free();
}

int FlashPlayerHost::Open(HWND parent, const RECT& rect, const CLSID& clsid) {
    if (window_ || !parent || !RegisterHostClass(&FlashPlayerHost::WindowProc)) {
        return 0;
    }
    parent_ = parent;
    const int width = RectWidth(rect) > 0 ? RectWidth(rect) : 0;
    const int height = RectHeight(rect) > 0 ? RectHeight(rect) : 0;
    // WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
    window_ = CreateWindowExW(0, kHostClassName, L"", 0x56000000, rect.left, rect.top, width,
                              height, parent, nullptr, GetModuleHandleW(nullptr), this);
    if (!window_) {
        return 0;
    }
    site_ = MakeRect(0, 0, width, height);
    CreatePlayer(clsid);
    return 1;
}

void FlashPlayerHost::CreatePlayer(const CLSID& clsid) {
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object_))) ||
        !object_) {
        object_ = nullptr;
        return;
    }
    if (FAILED(object_->QueryInterface(kIShockwaveFlashIid, reinterpret_cast<void**>(&flash_))) ||
        FAILED(object_->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view_)))) {
        ShutDownPlayer();
        return;
    }
    // The site first: players ask for it while their properties are set.
    object_->SetClientSite(this);
    PutText(flash_, &IShockwaveFlash::put_WMode, transparent_ ? L"transparent" : L"windowed");
    PutText(flash_, &IShockwaveFlash::put_Scale, L"showAll");
    flash_->put_BackgroundColor(0);
    flash_->put_EmbedMovie(VARIANT_TRUE);
    flash_->put_Menu(VARIANT_FALSE);
    PutText(flash_, &IShockwaveFlash::put_SAlign, L"middle");
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &site_))) {
        ShutDownPlayer();
        return;
    }
    flash_->put_EmbedMovie(VARIANT_TRUE);
    PutText(flash_, &IShockwaveFlash::put_Quality2, L"middle");
    object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&in_place_));
    SetTimer(window_, kFrameTimerId, kFrameIntervalMs, nullptr);
}

void FlashPlayerHost::ShutDownPlayer() {
    if (in_place_) {
        in_place_->InPlaceDeactivate();
        in_place_->UIDeactivate();
    }
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
    }
    ReleaseAndClear(&in_place_);
    ReleaseAndClear(&view_);
    ReleaseAndClear(&flash_);
    ReleaseAndClear(&object_);
}

int FlashPlayerHost::LoadMovie(const wchar_t* url) {
    if (!url || !flash_) {
        return 0;
    }
    // The player may call back into this site: keep it alive meanwhile.
    AddRef();
    int ok = 1;
    VARIANT_BOOL playing = VARIANT_FALSE;
    if (SUCCEEDED(flash_->IsPlaying(&playing)) && playing && FAILED(flash_->Stop())) {
        ok = 0;
    }
    if (ok && flash_) {
        BSTR movie = SysAllocString(url);
        ok = movie && SUCCEEDED(flash_->put_Movie(movie)) ? 1 : 0;
        SysFreeString(movie);
    }
    if (ok && flash_) {
        ok = SUCCEEDED(flash_->Play()) ? 1 : 0;
    }
    if (window_) {
        ::InvalidateRect(window_, nullptr, FALSE);
    }
    Release();
    return ok;
}

int FlashPlayerHost::IsPlaying() const {
    VARIANT_BOOL playing = VARIANT_FALSE;
    return flash_ && SUCCEEDED(flash_->IsPlaying(&playing)) && playing ? 1 : 0;
}

void FlashPlayerHost::Move(const RECT& rect) {
    if (!window_) {
        return;
    }
    const int width = RectWidth(rect) > 0 ? RectWidth(rect) : 0;
    const int height = RectHeight(rect) > 0 ? RectHeight(rect) : 0;
    MoveWindow(window_, rect.left, rect.top, width, height, TRUE);
    site_ = MakeRect(0, 0, width, height);
    if (in_place_) {
        in_place_->SetObjectRects(&site_, &site_);
    }
}

void FlashPlayerHost::Close() {
    if (window_) {
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK FlashPlayerHost::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    auto* host = reinterpret_cast<FlashPlayerHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!host) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    switch (message) {
        case WM_PAINT:
            host->OnPaint();
            return 0;
        case WM_ERASEBKGND:
            // The paint covers every pixel.
            return 1;
        case WM_TIMER:
            if (wparam == kFrameTimerId) {
                if (host->IsPlaying()) {
                    ::InvalidateRect(hwnd, nullptr, FALSE);
                }
                return 0;
            }
            break;
        case WM_DESTROY:
            host->OnDestroy();
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void FlashPlayerHost::OnDestroy() {
    AddRef();
    ShutDownPlayer();
    KillTimer(window_, kFrameTimerId);
    black_.Free();
    white_.Free();
    frame_.Free();
    snapshot_.Free();
    composite_.Free();
    // Later messages of the window (WM_NCDESTROY) find no object.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    window_ = nullptr;
    Release();
}

void FlashPlayerHost::TakeSnapshot(const RECT& client) {
    const int width = RectWidth(client);
    const int height = RectHeight(client);
    if (!snapshot_.Make(width, height)) {
        return;
    }
    RECT under = {0, 0, 0, 0};
    GetWindowRect(window_, &under);
    MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&under), 2);
    HDC parent_dc = ::GetDC(parent_);
    if (parent_dc) {
        BitBlt(snapshot_.dc, 0, 0, width, height, parent_dc, under.left, under.top, SRCCOPY);
        ::ReleaseDC(parent_, parent_dc);
    }
    // Under a parent that clips its children the screen there holds this
    // window's own last frame, or nothing: a parent that can print itself
    // draws the skin under the window again.
    POINT origin = {0, 0};
    SetViewportOrgEx(snapshot_.dc, -under.left, -under.top, &origin);
    SendMessageW(parent_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(snapshot_.dc), PRF_CLIENT);
    SetViewportOrgEx(snapshot_.dc, origin.x, origin.y, nullptr);
    GdiFlush();
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i) {
        snapshot_.bits[i] |= 0xFF000000u;
    }
    snapshot_client_ = client;
}

void FlashPlayerHost::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    RECT client = {0, 0, 0, 0};
    GetClientRect(window_, &client);
    const int width = RectWidth(client);
    const int height = RectHeight(client);
    const bool inside = client.left >= site_.left && client.top >= site_.top &&
                        client.right <= site_.right && client.bottom <= site_.bottom;
    if (!dc || width <= 0 || height <= 0 || !inside) {
        EndPaint(window_, &ps);
        return;
    }
    // The frame with its alpha, from the player drawn over black and white.
    const int site_width = RectWidth(site_);
    const int site_height = RectHeight(site_);
    bool have_frame = false;
    if (view_ && black_.Make(site_width, site_height) && white_.Make(site_width, site_height) &&
        frame_.Make(site_width, site_height)) {
        AddRef();
        const size_t count = static_cast<size_t>(site_width) * site_height;
        std::memset(black_.bits, 0, count * 4);
        std::memset(white_.bits, 0xFF, count * 4);
        RECTL bounds = {site_.left, site_.top, site_.right, site_.bottom};
        const HRESULT on_black = view_->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr,
                                             black_.dc, &bounds, nullptr, nullptr, 0);
        const HRESULT on_white = view_
                                     ? view_->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr,
                                                   white_.dc, &bounds, nullptr, nullptr, 0)
                                     : E_FAIL;
        GdiFlush();
        if (SUCCEEDED(on_black) && SUCCEEDED(on_white)) {
            DeriveAlpha(black_.bits, white_.bits, frame_.bits, count);
            have_frame = true;
        }
        // A player that destroyed the window while drawing may have taken
        // the last reference but one with it: look before letting go.
        const bool gone = window_ == nullptr;
        Release();
        if (gone) {
            return;
        }
    }
    if (!snapshot_.bits || !RectEquals(client, snapshot_client_)) {
        TakeSnapshot(client);
    }
    if (snapshot_.bits && composite_.Make(width, height)) {
        std::memcpy(composite_.bits, snapshot_.bits, static_cast<size_t>(width) * height * 4);
        if (have_frame) {
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(composite_.dc, 0, 0, width, height, frame_.dc, client.left - site_.left,
                       client.top - site_.top, width, height, blend);
            GdiFlush();
        }
        BitBlt(dc, 0, 0, width, height, composite_.dc, 0, 0, SRCCOPY);
    }
    EndPaint(window_, &ps);
}

namespace {

int CopySurfaceBits(const uint32_t* bits, int w, int h, std::vector<uint32_t>* pixels, int* width,
                    int* height) {
    if (!bits || !pixels || !width || !height) {
        return 0;
    }
    pixels->assign(bits, bits + static_cast<size_t>(w) * h);
    *width = w;
    *height = h;
    return 1;
}

}  // namespace

int FlashPlayerHost::CopySnapshot(std::vector<uint32_t>* pixels, int* width, int* height) const {
    return CopySurfaceBits(snapshot_.bits, snapshot_.width, snapshot_.height, pixels, width,
                           height);
}

int FlashPlayerHost::CopyComposite(std::vector<uint32_t>* pixels, int* width, int* height) const {
    return CopySurfaceBits(composite_.bits, composite_.width, composite_.height, pixels, width,
                           height);
}

// ---- COM -------------------------------------------------------------------

STDMETHODIMP FlashPlayerHost::QueryInterface(REFIID iid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
        *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite ||
               iid == IID_IOleInPlaceSiteEx || iid == IID_IOleInPlaceSiteWindowless) {
        *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
        *out = static_cast<IOleInPlaceFrame*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FlashPlayerHost::AddRef() {
    return ++references_;
}

STDMETHODIMP_(ULONG) FlashPlayerHost::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

STDMETHODIMP FlashPlayerHost::SaveObject() {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::GetMoniker(DWORD, DWORD, IMoniker** out) {
    if (out) {
        *out = nullptr;
    }
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::GetContainer(IOleContainer** out) {
    if (out) {
        *out = nullptr;
    }
    return E_NOINTERFACE;
}
STDMETHODIMP FlashPlayerHost::ShowObject() {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::OnShowWindow(BOOL) {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::RequestNewObjectLayout() {
    return E_NOTIMPL;
}

STDMETHODIMP FlashPlayerHost::GetWindow(HWND* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = window_;
    return window_ ? S_OK : E_FAIL;
}
STDMETHODIMP FlashPlayerHost::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP FlashPlayerHost::CanInPlaceActivate() {
    return window_ ? S_OK : S_FALSE;
}
STDMETHODIMP FlashPlayerHost::OnInPlaceActivate() {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::OnUIActivate() {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, LPRECT position,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !document || !position || !clip) {
        return E_POINTER;
    }
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    *position = site_;
    *clip = site_;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::Scroll(SIZE) {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::OnUIDeactivate(BOOL) {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::OnInPlaceDeactivate() {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::DiscardUndoState() {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::DeactivateAndUndo() {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::OnPosRectChange(LPCRECT) {
    // The site follows the control's bounds, not the player's wishes.
    return S_OK;
}

STDMETHODIMP FlashPlayerHost::OnInPlaceActivateEx(BOOL* no_redraw, DWORD) {
    if (no_redraw) {
        *no_redraw = FALSE;
    }
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::OnInPlaceDeactivateEx(BOOL) {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::RequestUIActivate() {
    return S_FALSE;
}

STDMETHODIMP FlashPlayerHost::CanWindowlessActivate() {
    return transparent_ ? S_OK : S_FALSE;
}
STDMETHODIMP FlashPlayerHost::GetCapture() {
    return S_FALSE;
}
STDMETHODIMP FlashPlayerHost::SetCapture(BOOL) {
    return S_FALSE;
}
STDMETHODIMP FlashPlayerHost::GetFocus() {
    return S_FALSE;
}
STDMETHODIMP FlashPlayerHost::SetFocus(BOOL) {
    return S_FALSE;
}
STDMETHODIMP FlashPlayerHost::GetDC(LPCRECT, DWORD, HDC* dc) {
    if (!dc) {
        return E_POINTER;
    }
    *dc = window_ ? ::GetDC(window_) : nullptr;
    return *dc ? S_OK : E_FAIL;
}
STDMETHODIMP FlashPlayerHost::ReleaseDC(HDC dc) {
    return window_ && ::ReleaseDC(window_, dc) ? S_OK : E_FAIL;
}
STDMETHODIMP FlashPlayerHost::InvalidateRect(LPCRECT rect, BOOL erase) {
    if (window_) {
        ::InvalidateRect(window_, rect, erase);
    }
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::InvalidateRgn(HRGN region, BOOL erase) {
    if (window_) {
        ::InvalidateRgn(window_, region, erase);
    }
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::ScrollRect(INT, INT, LPCRECT, LPCRECT) {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::AdjustRect(LPRECT) {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) {
    if (result) {
        *result = 0;
    }
    return S_FALSE;
}

STDMETHODIMP FlashPlayerHost::GetBorder(LPRECT) {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP FlashPlayerHost::RequestBorderSpace(LPCBORDERWIDTHS) {
    return INPLACE_E_NOTOOLSPACE;
}
STDMETHODIMP FlashPlayerHost::SetBorderSpace(LPCBORDERWIDTHS) {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::SetMenu(HMENU, HOLEMENU, HWND) {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::RemoveMenus(HMENU) {
    return E_NOTIMPL;
}
STDMETHODIMP FlashPlayerHost::SetStatusText(LPCOLESTR) {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::EnableModeless(BOOL) {
    return S_OK;
}
STDMETHODIMP FlashPlayerHost::TranslateAccelerator(LPMSG, WORD) {
    return S_FALSE;
}

// ---- FlashControl ----------------------------------------------------------

// The movie panel keeps the base class name ("Noset"), as the factory's
// table has it.
FlashControl::FlashControl() = default;

FlashControl::~FlashControl() {
    if (host_) {
        host_->Close();
        host_->Release();
    }
}

int FlashControl::LoadMovie(const wchar_t* url) {
    if (!url) {
        return 0;
    }
    if (!host_) {
        Control* root = Root();
        HWND parent = root ? root->GetHostWindow() : nullptr;
        if (!parent) {
            return 0;
        }
        host_ = FlashPlayerHost::Create();
        if (!host_->Open(parent, GetBounds(), player_class_)) {
            host_->Release();
            host_ = nullptr;
            return 0;
        }
    }
    return host_->LoadMovie(url);
}

int FlashControl::OnSize(const RECT& bounds) {
    if (host_) {
        host_->Move(bounds);
    }
    return Control::OnSize(bounds);
}

int FlashControl::OnShowWindow(int show, int status) {
    if (host_ && host_->Window()) {
        ShowWindow(host_->Window(), IsVisible() && show ? SW_SHOWNA : SW_HIDE);
    }
    return Control::OnShowWindow(show, status);
}

void FlashControl::Invalidate() {
    if (host_ && host_->Window()) {
        ShowWindow(host_->Window(), IsVisible() ? SW_SHOWNA : SW_HIDE);
    }
    Control::Invalidate();
}

int FlashControl::Paint(Bitmap* surface) {
    if (host_ && host_->Window()) {
        ::InvalidateRect(host_->Window(), nullptr, TRUE);
    }
    return Control::Paint(surface);
}

int FlashControl::Destroy() {
    if (host_) {
        FlashPlayerHost* host = host_;
        host_ = nullptr;
        host->Close();
        host->Release();
    }
    return Control::Destroy();
}

}  // namespace qm::skin
