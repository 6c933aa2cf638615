#include "skin/ax_host_window.h"

#include <mshtmhst.h>
#include <ocidl.h>

#include <atomic>

namespace qm::skin {

namespace {

UINT g_get_host_message = 0;
UINT g_get_control_message = 0;

// One site object per host window carries every role the control asks its
// container for, with one reference count. The window holds one reference
// from its creation to its last message; the control and its documents
// hold theirs while they keep the site.
class AxSite final : public IOleClientSite,
                     public IOleInPlaceSite,
                     public IOleInPlaceFrame,
                     public IDocHostUIHandler,
                     public IAxWinHostWindow {
  public:
    explicit AxSite(HWND window) : window_(window) {}

    // The window is going: the control is taken down and the external
    // object released; a caller still holding the site gets failures.
    void Detach() {
        ReleaseControl();
        SetExternalDispatch(nullptr);
        window_ = nullptr;
    }

    void Resize() {
        if (!in_place_ || !window_) {
            return;
        }
        RECT client;
        GetClientRect(window_, &client);
        in_place_->SetObjectRects(&client, &client);
    }

    IUnknown* Control() const { return control_; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        if (iid == IID_IUnknown || iid == __uuidof(IOleClientSite)) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (iid == __uuidof(IOleWindow) || iid == __uuidof(IOleInPlaceSite)) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == __uuidof(IOleInPlaceUIWindow) || iid == __uuidof(IOleInPlaceFrame)) {
            *object = static_cast<IOleInPlaceFrame*>(this);
        } else if (iid == __uuidof(IDocHostUIHandler)) {
            *object = static_cast<IDocHostUIHandler*>(this);
        } else if (iid == __uuidof(IAxWinHostWindow)) {
            *object = static_cast<IAxWinHostWindow*>(this);
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

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) {
            *moniker = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        if (container) {
            *container = nullptr;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (for the in-place site and the frame alike)
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) {
            return E_POINTER;
        }
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return window_ ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        if (document) {
            *document = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        RECT client = {0, 0, 0, 0};
        if (window_) {
            GetClientRect(window_, &client);
        }
        if (position) {
            *position = client;
        }
        if (clip) {
            *clip = client;
        }
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = window_;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT position) override {
        if (in_place_ && position) {
            in_place_->SetObjectRects(position, position);
        }
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, menus or
    // status line to share.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    // Shared by the frame and the UI handler.
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler: the page runs with the browser's defaults, except
    // for its context menu, which a branded window does not show.
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info) {
            return E_POINTER;
        }
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_FALSE;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) {
            *key = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
        if (target) {
            *target = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** external) override {
        if (!external) {
            return E_POINTER;
        }
        *external = external_;
        if (!external_) {
            return S_FALSE;
        }
        external_->AddRef();
        return S_OK;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) {
            *out = nullptr;
        }
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) {
            *out = nullptr;
        }
        return S_FALSE;
    }

    // IAxWinHostWindow
    STDMETHODIMP CreateControl(LPCOLESTR name, HWND window, IStream* stream) override {
        return CreateControlEx(name, window, stream, nullptr, IID_NULL, nullptr);
    }
    STDMETHODIMP CreateControlEx(LPCOLESTR name, HWND window, IStream* stream, IUnknown** control,
                                 REFIID advise_iid, IUnknown* advise_sink) override {
        if (control) {
            *control = nullptr;
        }
        if (!name || !*name) {
            return E_INVALIDARG;
        }
        if (!window_ || (window && window != window_)) {
            return E_FAIL;
        }
        CLSID clsid;
        HRESULT hr =
            name[0] == L'{' ? CLSIDFromString(name, &clsid) : CLSIDFromProgID(name, &clsid);
        if (FAILED(hr)) {
            return hr;
        }
        IUnknown* created = nullptr;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IUnknown, reinterpret_cast<void**>(&created));
        if (FAILED(hr) || !created) {
            return FAILED(hr) ? hr : E_FAIL;
        }
        hr = Attach(created, stream);
        if (SUCCEEDED(hr) && advise_sink && advise_iid != IID_NULL) {
            Advise(advise_iid, advise_sink);
        }
        if (SUCCEEDED(hr) && control) {
            *control = created;
            created->AddRef();
        }
        created->Release();
        return hr;
    }
    STDMETHODIMP AttachControl(IUnknown* control, HWND window) override {
        if (!control) {
            return E_INVALIDARG;
        }
        if (!window_ || (window && window != window_)) {
            return E_FAIL;
        }
        return Attach(control, nullptr);
    }
    STDMETHODIMP QueryControl(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        return control_ ? control_->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    STDMETHODIMP SetExternalDispatch(IDispatch* external) override {
        if (external) {
            external->AddRef();
        }
        IDispatch* old = external_;
        external_ = external;
        if (old) {
            old->Release();
        }
        return S_OK;
    }
    STDMETHODIMP SetExternalUIHandler(IUnknown*) override { return E_NOTIMPL; }

  private:
    ~AxSite() {
        ReleaseControl();
        if (external_) {
            external_->Release();
        }
    }

    HRESULT Attach(IUnknown* control, IStream* stream) {
        ReleaseControl();
        control_ = control;
        control_->AddRef();
        control_->QueryInterface(__uuidof(IOleObject), reinterpret_cast<void**>(&object_));
        DWORD misc = 0;
        if (object_) {
            object_->GetMiscStatus(DVASPECT_CONTENT, &misc);
        }
        // Some controls need their site before they are initialised.
        const bool site_first = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
        if (object_ && site_first) {
            object_->SetClientSite(this);
        }
        IPersistStreamInit* persist = nullptr;
        if (SUCCEEDED(control_->QueryInterface(__uuidof(IPersistStreamInit),
                                               reinterpret_cast<void**>(&persist))) &&
            persist) {
            if (stream) {
                persist->Load(stream);
            } else {
                persist->InitNew();
            }
            persist->Release();
        }
        if (object_ && !site_first) {
            object_->SetClientSite(this);
        }
        HRESULT hr = S_OK;
        if (object_ && window_) {
            RECT client;
            GetClientRect(window_, &client);
            HDC screen = GetDC(nullptr);
            const int dpi_x = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
            const int dpi_y = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
            if (screen) {
                ReleaseDC(nullptr, screen);
            }
            SIZEL extent = {MulDiv(client.right, 2540, dpi_x), MulDiv(client.bottom, 2540, dpi_y)};
            object_->SetExtent(DVASPECT_CONTENT, &extent);
            if (!(misc & OLEMISC_INVISIBLEATRUNTIME)) {
                hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &client);
            }
        }
        control_->QueryInterface(__uuidof(IOleInPlaceObject), reinterpret_cast<void**>(&in_place_));
        if (FAILED(hr)) {
            // A control that cannot run in the window is not kept.
            ReleaseControl();
        }
        return hr;
    }

    void Advise(REFIID iid, IUnknown* sink) {
        IConnectionPointContainer* container = nullptr;
        if (FAILED(control_->QueryInterface(__uuidof(IConnectionPointContainer),
                                            reinterpret_cast<void**>(&container))) ||
            !container) {
            return;
        }
        if (SUCCEEDED(container->FindConnectionPoint(iid, &point_)) && point_) {
            if (FAILED(point_->Advise(sink, &cookie_))) {
                point_->Release();
                point_ = nullptr;
                cookie_ = 0;
            }
        }
        container->Release();
    }

    // In the order the control expects to be taken down.
    void ReleaseControl() {
        if (in_place_) {
            IOleInPlaceObject* in_place = in_place_;
            in_place_ = nullptr;
            in_place->InPlaceDeactivate();
            in_place->UIDeactivate();
            in_place->Release();
        }
        if (point_) {
            IConnectionPoint* point = point_;
            point_ = nullptr;
            point->Unadvise(cookie_);
            point->Release();
            cookie_ = 0;
        }
        if (object_) {
            IOleObject* object = object_;
            object_ = nullptr;
            object->Close(OLECLOSE_NOSAVE);
            object->SetClientSite(nullptr);
            object->Release();
        }
        if (control_) {
            IUnknown* control = control_;
            control_ = nullptr;
            control->Release();
        }
    }

    std::atomic<ULONG> references_{1};
    HWND window_;
    IUnknown* control_ = nullptr;
    IOleObject* object_ = nullptr;
    IOleInPlaceObject* in_place_ = nullptr;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
    IDispatch* external_ = nullptr;
};

AxSite* SiteOf(HWND window) {
    return reinterpret_cast<AxSite*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK AxWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    AxSite* site = SiteOf(window);
    if (message == g_get_host_message && g_get_host_message) {
        if (!site) {
            return 0;
        }
        IAxWinHostWindow* host = site;
        host->AddRef();
        return reinterpret_cast<LRESULT>(static_cast<IUnknown*>(host));
    }
    if (message == g_get_control_message && g_get_control_message) {
        IUnknown* control = site ? site->Control() : nullptr;
        if (control) {
            control->AddRef();
        }
        return reinterpret_cast<LRESULT>(control);
    }
    switch (message) {
        case WM_NCCREATE:
            site = new AxSite(window);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site));
            break;
        case WM_CREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            // A control named by the window text: failing to make it leaves
            // an empty window, as with a name nothing answers to.
            if (site && create && create->lpszName && !IS_INTRESOURCE(create->lpszName) &&
                *create->lpszName) {
                site->CreateControl(create->lpszName, window, nullptr);
            }
            return 0;
        }
        case WM_SIZE:
            if (site) {
                site->Resize();
            }
            break;
        case WM_DESTROY:
            if (site) {
                site->Detach();
            }
            break;
        case WM_NCDESTROY:
            if (site) {
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                site->Release();
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

bool RegisterClassOnce(const wchar_t* name) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, name, &wc)) {
        return true;
    }
    wc = {};
    wc.cbSize = sizeof wc;
    // Global, so that any module of the process can make one.
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS;
    wc.lpfnWndProc = &AxWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

int RegisterAxHostWindow() {
    if (!g_get_host_message) {
        g_get_host_message = RegisterWindowMessageW(L"WM_ATLGETHOST");
    }
    if (!g_get_control_message) {
        g_get_control_message = RegisterWindowMessageW(L"WM_ATLGETCONTROL");
    }
    const bool plain = RegisterClassOnce(kAxHostWindowClass);
    // Licensed controls are created the same way here: no license key is
    // carried in the creation data.
    const bool licensed = RegisterClassOnce(kAxHostLicensedWindowClass);
    return plain && licensed ? 1 : 0;
}

UINT AxGetHostMessage() {
    return g_get_host_message;
}

UINT AxGetControlMessage() {
    return g_get_control_message;
}

HRESULT AxGetHost(HWND window, IAxWinHostWindow** host) {
    if (!host) {
        return E_POINTER;
    }
    *host = nullptr;
    if (!window || !g_get_host_message) {
        return E_FAIL;
    }
    auto* unknown = reinterpret_cast<IUnknown*>(SendMessageW(window, g_get_host_message, 0, 0));
    if (!unknown) {
        return E_FAIL;
    }
    const HRESULT hr =
        unknown->QueryInterface(__uuidof(IAxWinHostWindow), reinterpret_cast<void**>(host));
    unknown->Release();
    return hr;
}

HRESULT AxGetControl(HWND window, IUnknown** control) {
    if (!control) {
        return E_POINTER;
    }
    *control = nullptr;
    if (!window || !g_get_control_message) {
        return E_FAIL;
    }
    *control = reinterpret_cast<IUnknown*>(SendMessageW(window, g_get_control_message, 0, 0));
    return *control ? S_OK : E_FAIL;
}

}  // namespace qm::skin
