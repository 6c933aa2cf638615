// The accessible object of a skinned window.
//
// Shape: every control that has children (a container, and the root) is an
// accessible object of its own; a control without children is a simple
// element of the object above it, addressed by its control id. The client
// object stands for the root: role client, its name the window's text.
// Every object answers for any control below its own by id, so that the
// client object resolves every child id a WinEvent carries; get_accChild
// hands out an object for a container and S_FALSE for a simple element.
// Children are listed through IEnumVARIANT on the same object (which is what
// AccessibleChildren asks for first): containers as VT_DISPATCH, simple
// elements as VT_I4 control ids. Hidden controls are left out of the
// children, navigation and hit testing; read by id they report
// STATE_SYSTEM_INVISIBLE.
//
// All objects handed out for one window share one connection to its site;
// DetachTreeAccessible cuts it, after which every method answers E_FAIL.
// An object for a container holds a reference on its control, and answers
// E_FAIL once that control has left the window's tree.
//
// accDoDefaultAction answers at once and the click follows from the window
// thread's message loop (see Connection), through the control's own
// DoDefaultAction: the same listeners, in the same order, as a mouse click.
#include "skin/accessible.h"

#include <atomic>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "skin/control.h"

namespace qm::skin {

namespace {

// Lets DetachTreeAccessible recognise its own objects.
// {6C0E3F2A-9B1D-4E57-A6C4-2F8D5B7E1A90}
const GUID kTreeAccessibleId = {
    0x6c0e3f2a, 0x9b1d, 0x4e57, {0xa6, 0xc4, 0x2f, 0x8d, 0x5b, 0x7e, 0x1a, 0x90}};

// A counted reference on a control for as long as a call uses it.
class ControlRef {
  public:
    ControlRef() = default;
    explicit ControlRef(Control* control) : control_(control) {
        if (control_) {
            control_->AddRef();
        }
    }
    ControlRef(const ControlRef& other) : ControlRef(other.control_) {}
    ControlRef(ControlRef&& other) noexcept : control_(other.control_) { other.control_ = nullptr; }
    ControlRef& operator=(ControlRef other) {
        std::swap(control_, other.control_);
        return *this;
    }
    ~ControlRef() {
        if (control_) {
            control_->Release();
        }
    }
    Control* get() const { return control_; }
    Control* operator->() const { return control_; }
    explicit operator bool() const { return control_ != nullptr; }

  private:
    Control* control_ = nullptr;
};

BSTR MakeBstr(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// A text property's answer: S_FALSE for none, else a new BSTR in *out.
HRESULT TextAnswer(const std::wstring& text, BSTR* out) {
    if (text.empty()) {
        return S_FALSE;
    }
    *out = MakeBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, &wide[0], length);
    return wide;
}

// The child id a reader passes; false for a variant that carries none.
bool ReadChildId(const VARIANT& child, LONG* id) {
    switch (child.vt) {
        case VT_I4:
            *id = child.lVal;
            return true;
        case VT_INT:
            *id = child.intVal;
            return true;
        case VT_I2:
            *id = child.iVal;
            return true;
        case VT_EMPTY:
            *id = CHILDID_SELF;
            return true;
        default:
            return false;
    }
}

Control* FindById(Control* under, int32_t id) {
    for (size_t i = 0; i < under->ChildCount(); ++i) {
        Control* child = under->ChildAt(i);
        if (child->GetId() == id) {
            return child;
        }
        if (Control* found = FindById(child, id)) {
            return found;
        }
    }
    return nullptr;
}

bool IsBelow(const Control* control, const Control* ancestor) {
    for (const Control* c = control ? control->GetParent() : nullptr; c; c = c->GetParent()) {
        if (c == ancestor) {
            return true;
        }
    }
    return false;
}

// Hidden itself or under a hidden ancestor.
bool ShownOnScreen(const Control* control) {
    for (const Control* c = control; c; c = c->GetParent()) {
        if (!c->IsVisible()) {
            return false;
        }
    }
    return true;
}

// A disabled ancestor keeps the mouse from every control below it.
bool UsableByMouse(const Control* control) {
    for (const Control* c = control; c; c = c->GetParent()) {
        if (!c->IsEnabled()) {
            return false;
        }
    }
    return true;
}

bool IsContainer(const Control* control) {
    return control->ChildCount() > 0;
}

std::vector<ControlRef> VisibleChildren(const Control* control) {
    std::vector<ControlRef> children;
    if (!control) {
        return children;
    }
    for (size_t i = 0; i < control->ChildCount(); ++i) {
        Control* child = control->ChildAt(i);
        if (child->IsVisible()) {
            children.emplace_back(child);
        }
    }
    return children;
}

LONG SystemRole(Control::AccessRole role) {
    switch (role) {
        case Control::AccessRole::kGrouping:
            return ROLE_SYSTEM_GROUPING;
        case Control::AccessRole::kClient:
            return ROLE_SYSTEM_CLIENT;
        case Control::AccessRole::kPushButton:
            return ROLE_SYSTEM_PUSHBUTTON;
        case Control::AccessRole::kCheckBox:
            return ROLE_SYSTEM_CHECKBUTTON;
        case Control::AccessRole::kRadioButton:
            return ROLE_SYSTEM_RADIOBUTTON;
        case Control::AccessRole::kProgressBar:
            return ROLE_SYSTEM_PROGRESSBAR;
        case Control::AccessRole::kStaticText:
            return ROLE_SYSTEM_STATICTEXT;
        case Control::AccessRole::kLink:
            return ROLE_SYSTEM_LINK;
        case Control::AccessRole::kGraphic:
            return ROLE_SYSTEM_GRAPHIC;
    }
    return ROLE_SYSTEM_GROUPING;
}

// The words of the product's own language for what a click does; empty for
// controls a click does nothing for.
std::wstring DefaultActionOf(const Control* control) {
    switch (control->GetAccessRole()) {
        case Control::AccessRole::kPushButton:
        case Control::AccessRole::kLink:
            return L"按下";
        case Control::AccessRole::kCheckBox:
            return control->IsAccessChecked() ? L"清除" : L"选中";
        case Control::AccessRole::kRadioButton:
            return L"选择";
        default:
            return std::wstring();
    }
}

// What the objects of one window share: the site, until the window goes,
// and the default actions waiting to run.
//
// A default action runs from the window thread's message loop, not inside
// accDoDefaultAction: a click may open a modal dialog, and a reader in
// another process would otherwise wait in its call until the dialog ends.
class Connection {
  public:
    explicit Connection(AccessibleSite* site) : site_(site) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void AddRef() { ++references_; }
    void Release() {
        if (--references_ == 0) {
            delete this;
        }
    }
    AccessibleSite* site() const { return site_; }
    // The window is going: no more answers, and no waiting action runs.
    void Detach() {
        site_ = nullptr;
        DropPending();
    }
    // Queues a click on control; false when it cannot be queued.
    bool Post(Control* control);

  private:
    static constexpr UINT kRunPending = WM_APP + 1;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    ~Connection() { DropPending(); }
    void RunPending();
    void DropPending() {
        pending_.clear();
        if (runner_) {
            HWND runner = runner_;
            runner_ = nullptr;
            SetWindowLongPtrW(runner, GWLP_USERDATA, 0);
            DestroyWindow(runner);
        }
    }

    std::atomic<long> references_{1};
    AccessibleSite* site_;
    // A message-only window on the window's thread that runs the queue.
    HWND runner_ = nullptr;
    std::vector<ControlRef> pending_;
};

const wchar_t kRunnerClass[] = L"TessalyAccessibleAction";

bool Connection::Post(Control* control) {
    if (!site_) {
        return false;
    }
    if (!runner_) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &Connection::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kRunnerClass;
        // Fails harmlessly once the class exists.
        RegisterClassExW(&wc);
        runner_ = CreateWindowExW(0, kRunnerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        if (!runner_) {
            return false;
        }
        SetWindowLongPtrW(runner_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    if (pending_.empty() && !PostMessageW(runner_, kRunPending, 0, 0)) {
        return false;
    }
    pending_.emplace_back(control);
    return true;
}

void Connection::RunPending() {
    // A click may release the last reader object, and with it this.
    AddRef();
    std::vector<ControlRef> batch;
    batch.swap(pending_);
    for (const ControlRef& control : batch) {
        // Each click may close the window: ask the site again every time.
        AccessibleSite* site = site_;
        Control* root = site ? site->AccessibleRoot() : nullptr;
        if (!root) {
            break;
        }
        if (control.get() != root && !IsBelow(control.get(), root)) {
            continue;
        }
        if (ShownOnScreen(control.get()) && UsableByMouse(control.get())) {
            control->DoDefaultAction();
        }
    }
    batch.clear();
    Release();
}

LRESULT CALLBACK Connection::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kRunPending) {
        auto* connection = reinterpret_cast<Connection*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (connection) {
            connection->RunPending();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

class TreeAccessible final : public IAccessible, public IEnumVARIANT {
  public:
    // control is null for the window's client object, which stands for
    // whatever root the site has at the time of each call.
    TreeAccessible(Connection* connection, Control* control)
        : connection_(connection), control_(control) {
        connection_->AddRef();
        if (control_) {
            control_->AddRef();
        }
    }

    TreeAccessible(const TreeAccessible&) = delete;
    TreeAccessible& operator=(const TreeAccessible&) = delete;

    void Detach() { connection_->Detach(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) ||
            iid == __uuidof(IAccessible) || iid == kTreeAccessibleId) {
            *out = static_cast<IAccessible*>(this);
        } else if (iid == __uuidof(IEnumVARIANT)) {
            *out = static_cast<IEnumVARIANT*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --references_;
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }

    // IDispatch: readers use the IAccessible methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) {
            return E_POINTER;
        }
        *count = 0;
        return connection_->site() ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) {
            *info = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

    // IEnumVARIANT: the visible children, in tree order.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override;

  private:
    ~TreeAccessible() {
        if (control_) {
            control_->Release();
        }
        connection_->Release();
    }

    // What one call works on, held for the length of the call.
    struct Scope {
        AccessibleSite* site = nullptr;
        HWND window = nullptr;
        ControlRef root;
        // The control this object stands for; null only for the client
        // object of a window that has no tree.
        ControlRef self;
    };
    // E_FAIL once the window is gone or this object's control has left it.
    HRESULT Enter(Scope* scope) const;
    // The control a child id names: this object's own (CHILDID_SELF) or
    // any control below it; E_INVALIDARG for ids that name none.
    HRESULT Resolve(const Scope& scope, const VARIANT& child, ControlRef* target) const;
    HRESULT EnterAt(const VARIANT& child, Scope* scope, ControlRef* target) const {
        const HRESULT hr = Enter(scope);
        return FAILED(hr) ? hr : Resolve(*scope, child, target);
    }
    // The window's client: the root, or nothing when there is no tree.
    static bool IsClient(const Scope& scope, const ControlRef& target) {
        return !target || target.get() == scope.root.get();
    }
    // A new object for control (the client object for the root).
    IDispatch* ObjectFor(const Scope& scope, Control* control) const;
    // How a control is reported relative to this object: CHILDID_SELF for
    // its own, a control id for a simple element below it, else an object
    // (VT_EMPTY when none could be made).
    void Report(const Scope& scope, Control* control, VARIANT* out) const;

    std::atomic<long> references_{1};
    Connection* connection_;
    Control* control_;
    // Position of the child enumeration.
    ULONG cursor_ = 0;
};

HRESULT TreeAccessible::Enter(Scope* scope) const {
    AccessibleSite* site = connection_->site();
    if (!site) {
        return E_FAIL;
    }
    scope->site = site;
    scope->window = site->AccessibleWindow();
    scope->root = ControlRef(site->AccessibleRoot());
    if (!control_) {
        scope->self = scope->root;
        return S_OK;
    }
    if (!scope->root || (control_ != scope->root.get() && !IsBelow(control_, scope->root.get()))) {
        return E_FAIL;
    }
    scope->self = ControlRef(control_);
    return S_OK;
}

HRESULT TreeAccessible::Resolve(const Scope& scope, const VARIANT& child,
                                ControlRef* target) const {
    LONG id = 0;
    if (!ReadChildId(child, &id)) {
        return E_INVALIDARG;
    }
    if (id == CHILDID_SELF) {
        *target = scope.self;
        return S_OK;
    }
    Control* found = scope.self ? FindById(scope.self.get(), id) : nullptr;
    if (!found) {
        return E_INVALIDARG;
    }
    *target = ControlRef(found);
    return S_OK;
}

IDispatch* TreeAccessible::ObjectFor(const Scope& scope, Control* control) const {
    Control* held = control == scope.root.get() ? nullptr : control;
    TreeAccessible* object = new (std::nothrow) TreeAccessible(connection_, held);
    return object ? static_cast<IAccessible*>(object) : nullptr;
}

void TreeAccessible::Report(const Scope& scope, Control* control, VARIANT* out) const {
    VariantInit(out);
    if (control == scope.self.get()) {
        out->vt = VT_I4;
        out->lVal = CHILDID_SELF;
        return;
    }
    // A control without an id of its own (0 is CHILDID_SELF) can only be
    // reached as an object.
    if (!IsContainer(control) && control->GetId() > 0 && IsBelow(control, scope.self.get())) {
        out->vt = VT_I4;
        out->lVal = control->GetId();
        return;
    }
    if (IDispatch* object = ObjectFor(scope, control)) {
        out->vt = VT_DISPATCH;
        out->pdispVal = object;
    }
}

HRESULT TreeAccessible::get_accParent(IDispatch** parent) {
    if (!parent) {
        return E_POINTER;
    }
    *parent = nullptr;
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    if (IsClient(scope, scope.self)) {
        // Above the client is the window itself, which the system describes.
        if (!scope.window || FAILED(AccessibleObjectFromWindow(
                                 scope.window, static_cast<DWORD>(OBJID_WINDOW),
                                 __uuidof(IDispatch), reinterpret_cast<void**>(parent)))) {
            *parent = nullptr;
            return S_FALSE;
        }
        return S_OK;
    }
    ControlRef above(scope.self->GetParent());
    if (!above) {
        return S_FALSE;
    }
    *parent = ObjectFor(scope, above.get());
    return *parent ? S_OK : E_OUTOFMEMORY;
}

HRESULT TreeAccessible::get_accChildCount(LONG* count) {
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    *count = static_cast<LONG>(VisibleChildren(scope.self.get()).size());
    return S_OK;
}

HRESULT TreeAccessible::get_accChild(VARIANT child, IDispatch** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    if (target.get() == scope.self.get()) {
        AddRef();
        *out = static_cast<IAccessible*>(this);
        return S_OK;
    }
    if (!IsContainer(target.get())) {
        return S_FALSE;
    }
    *out = ObjectFor(scope, target.get());
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT TreeAccessible::get_accName(VARIANT child, BSTR* name) {
    if (!name) {
        return E_POINTER;
    }
    *name = nullptr;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    std::wstring text;
    if (IsClient(scope, target)) {
        const int length = scope.window ? GetWindowTextLengthW(scope.window) : 0;
        if (length > 0) {
            text.resize(static_cast<size_t>(length) + 1);
            text.resize(static_cast<size_t>(GetWindowTextW(scope.window, &text[0], length + 1)));
        }
    } else {
        text = target->GetAccessName();
    }
    return TextAnswer(text, name);
}

HRESULT TreeAccessible::get_accValue(VARIANT child, BSTR* value) {
    if (!value) {
        return E_POINTER;
    }
    *value = nullptr;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    const std::wstring text = target ? target->GetAccessValue() : std::wstring();
    return TextAnswer(text, value);
}

HRESULT TreeAccessible::get_accDescription(VARIANT child, BSTR* description) {
    if (!description) {
        return E_POINTER;
    }
    *description = nullptr;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    return FAILED(hr) ? hr : S_FALSE;
}

HRESULT TreeAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!role) {
        return E_POINTER;
    }
    VariantInit(role);
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    role->vt = VT_I4;
    role->lVal = IsClient(scope, target) ? ROLE_SYSTEM_CLIENT : SystemRole(target->GetAccessRole());
    return S_OK;
}

HRESULT TreeAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!state) {
        return E_POINTER;
    }
    VariantInit(state);
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    LONG bits = 0;
    if (IsClient(scope, target)) {
        bits |= STATE_SYSTEM_FOCUSABLE;
        if (!scope.window || !IsWindowVisible(scope.window) || (target && !target->IsVisible())) {
            bits |= STATE_SYSTEM_INVISIBLE;
        }
        if (scope.window && !IsWindowEnabled(scope.window)) {
            bits |= STATE_SYSTEM_UNAVAILABLE;
        }
        if (scope.window && GetFocus() == scope.window && !scope.site->AccessibleFocus()) {
            bits |= STATE_SYSTEM_FOCUSED;
        }
    } else {
        if (!UsableByMouse(target.get())) {
            bits |= STATE_SYSTEM_UNAVAILABLE;
        }
        if (!ShownOnScreen(target.get())) {
            bits |= STATE_SYSTEM_INVISIBLE;
        }
        if (target->IsAccessChecked()) {
            bits |= STATE_SYSTEM_CHECKED;
        }
        if (target->IsHover()) {
            bits |= STATE_SYSTEM_HOTTRACKED;
        }
        if (target->IsAccessPressed()) {
            bits |= STATE_SYSTEM_PRESSED;
        }
        if (target->IsFocusable()) {
            bits |= STATE_SYSTEM_FOCUSABLE;
        }
        if (target->IsFocused() || scope.site->AccessibleFocus() == target.get()) {
            bits |= STATE_SYSTEM_FOCUSED;
        }
    }
    state->vt = VT_I4;
    state->lVal = bits;
    return S_OK;
}

HRESULT TreeAccessible::get_accHelp(VARIANT child, BSTR* help) {
    if (!help) {
        return E_POINTER;
    }
    *help = nullptr;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    const std::wstring name = target ? Widen(target->GetName()) : std::wstring();
    return TextAnswer(name, help);
}

HRESULT TreeAccessible::get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) {
    if (!file || !topic) {
        return E_POINTER;
    }
    *file = nullptr;
    *topic = -1;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    return FAILED(hr) ? hr : S_FALSE;
}

HRESULT TreeAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    if (!shortcut) {
        return E_POINTER;
    }
    *shortcut = nullptr;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    return FAILED(hr) ? hr : S_FALSE;
}

HRESULT TreeAccessible::get_accFocus(VARIANT* focus) {
    if (!focus) {
        return E_POINTER;
    }
    VariantInit(focus);
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    ControlRef focused(scope.site->AccessibleFocus());
    if (focused &&
        (focused.get() == scope.self.get() || IsBelow(focused.get(), scope.self.get()))) {
        Report(scope, focused.get(), focus);
        return focus->vt == VT_EMPTY ? E_OUTOFMEMORY : S_OK;
    }
    if (!focused && IsClient(scope, scope.self) && scope.window && GetFocus() == scope.window) {
        focus->vt = VT_I4;
        focus->lVal = CHILDID_SELF;
        return S_OK;
    }
    return S_FALSE;
}

HRESULT TreeAccessible::get_accSelection(VARIANT* selection) {
    if (!selection) {
        return E_POINTER;
    }
    VariantInit(selection);
    Scope scope;
    const HRESULT hr = Enter(&scope);
    return FAILED(hr) ? hr : S_FALSE;
}

HRESULT TreeAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    if (!action) {
        return E_POINTER;
    }
    *action = nullptr;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    const std::wstring text =
        IsClient(scope, target) ? std::wstring() : DefaultActionOf(target.get());
    return TextAnswer(text, action);
}

HRESULT TreeAccessible::accSelect(LONG, VARIANT child) {
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    return FAILED(hr) ? hr : DISP_E_MEMBERNOTFOUND;
}

HRESULT TreeAccessible::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                    VARIANT child) {
    if (!left || !top || !width || !height) {
        return E_POINTER;
    }
    *left = *top = *width = *height = 0;
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    RECT bounds{0, 0, 0, 0};
    if (IsClient(scope, target)) {
        if (!scope.window || !GetClientRect(scope.window, &bounds)) {
            return S_FALSE;
        }
    } else {
        bounds = target->GetBounds();
    }
    POINT origin{bounds.left, bounds.top};
    if (scope.window && !ClientToScreen(scope.window, &origin)) {
        return E_FAIL;
    }
    *left = origin.x;
    *top = origin.y;
    *width = bounds.right > bounds.left ? bounds.right - bounds.left : 0;
    *height = bounds.bottom > bounds.top ? bounds.bottom - bounds.top : 0;
    return S_OK;
}

HRESULT TreeAccessible::accNavigate(LONG direction, VARIANT start, VARIANT* end) {
    if (!end) {
        return E_POINTER;
    }
    VariantInit(end);
    Scope scope;
    ControlRef from;
    const HRESULT hr = EnterAt(start, &scope, &from);
    if (FAILED(hr)) {
        return hr;
    }
    if (!from) {
        return S_FALSE;
    }
    ControlRef to;
    switch (direction) {
        case NAVDIR_FIRSTCHILD:
        case NAVDIR_LASTCHILD: {
            const std::vector<ControlRef> children = VisibleChildren(from.get());
            if (!children.empty()) {
                to = direction == NAVDIR_FIRSTCHILD ? children.front() : children.back();
            }
            break;
        }
        case NAVDIR_NEXT:
        case NAVDIR_PREVIOUS: {
            // The client has no siblings in the tree; the window's own object
            // navigates around it.
            if (IsClient(scope, from) || !from->GetParent()) {
                break;
            }
            const std::vector<ControlRef> siblings = VisibleChildren(from->GetParent());
            for (size_t i = 0; i < siblings.size(); ++i) {
                if (siblings[i].get() != from.get()) {
                    continue;
                }
                if (direction == NAVDIR_NEXT && i + 1 < siblings.size()) {
                    to = siblings[i + 1];
                } else if (direction == NAVDIR_PREVIOUS && i > 0) {
                    to = siblings[i - 1];
                }
                break;
            }
            break;
        }
        case NAVDIR_UP:
        case NAVDIR_DOWN:
        case NAVDIR_LEFT:
        case NAVDIR_RIGHT:
            break;
        default:
            return E_INVALIDARG;
    }
    if (!to) {
        return S_FALSE;
    }
    Report(scope, to.get(), end);
    return end->vt == VT_EMPTY ? E_OUTOFMEMORY : S_OK;
}

HRESULT TreeAccessible::accHitTest(LONG x, LONG y, VARIANT* hit) {
    if (!hit) {
        return E_POINTER;
    }
    VariantInit(hit);
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    POINT point{x, y};
    if (!scope.window || !ScreenToClient(scope.window, &point)) {
        return S_FALSE;
    }
    if (IsClient(scope, scope.self)) {
        RECT client;
        if (!GetClientRect(scope.window, &client) || !PtInRect(&client, point)) {
            return S_FALSE;
        }
        if (!scope.self || !scope.self->IsVisible()) {
            hit->vt = VT_I4;
            hit->lVal = CHILDID_SELF;
            return S_OK;
        }
    } else if (!ShownOnScreen(scope.self.get()) || !scope.self->HitTest(point)) {
        return S_FALSE;
    }
    // Down the tree as the mouse goes: at each level the first child that
    // takes the point lies on top.
    ControlRef at = scope.self;
    for (;;) {
        ControlRef next;
        for (const ControlRef& child : VisibleChildren(at.get())) {
            if (child->HitTest(point)) {
                next = child;
                break;
            }
        }
        if (!next) {
            break;
        }
        at = next;
    }
    Report(scope, at.get(), hit);
    return hit->vt == VT_EMPTY ? E_OUTOFMEMORY : S_OK;
}

HRESULT TreeAccessible::accDoDefaultAction(VARIANT child) {
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    if (FAILED(hr)) {
        return hr;
    }
    if (IsClient(scope, target) || DefaultActionOf(target.get()).empty()) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!ShownOnScreen(target.get()) || !UsableByMouse(target.get())) {
        return E_FAIL;
    }
    return connection_->Post(target.get()) ? S_OK : E_FAIL;
}

HRESULT TreeAccessible::put_accName(VARIANT child, BSTR) {
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    return FAILED(hr) ? hr : E_NOTIMPL;
}

HRESULT TreeAccessible::put_accValue(VARIANT child, BSTR) {
    Scope scope;
    ControlRef target;
    const HRESULT hr = EnterAt(child, &scope, &target);
    return FAILED(hr) ? hr : E_NOTIMPL;
}

HRESULT TreeAccessible::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    if (fetched) {
        *fetched = 0;
    }
    if (count > 0 && !items) {
        return E_POINTER;
    }
    if (count > 1 && !fetched) {
        return E_POINTER;
    }
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    const std::vector<ControlRef> children = VisibleChildren(scope.self.get());
    ULONG filled = 0;
    while (filled < count && cursor_ < children.size()) {
        Report(scope, children[cursor_].get(), &items[filled]);
        if (items[filled].vt == VT_EMPTY) {
            for (ULONG i = 0; i < filled; ++i) {
                VariantClear(&items[i]);
            }
            return E_OUTOFMEMORY;
        }
        ++cursor_;
        ++filled;
    }
    if (fetched) {
        *fetched = filled;
    }
    return filled == count ? S_OK : S_FALSE;
}

HRESULT TreeAccessible::Skip(ULONG count) {
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    const ULONG total = static_cast<ULONG>(VisibleChildren(scope.self.get()).size());
    const ULONG left = cursor_ < total ? total - cursor_ : 0;
    if (count > left) {
        cursor_ = total;
        return S_FALSE;
    }
    cursor_ += count;
    return S_OK;
}

HRESULT TreeAccessible::Reset() {
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    cursor_ = 0;
    return S_OK;
}

HRESULT TreeAccessible::Clone(IEnumVARIANT** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    Scope scope;
    const HRESULT hr = Enter(&scope);
    if (FAILED(hr)) {
        return hr;
    }
    TreeAccessible* copy = new (std::nothrow) TreeAccessible(connection_, control_);
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    copy->cursor_ = cursor_;
    *out = static_cast<IEnumVARIANT*>(copy);
    return S_OK;
}

}  // namespace

IAccessible* CreateTreeAccessible(AccessibleSite* site) {
    if (!site) {
        return nullptr;
    }
    Connection* connection = new (std::nothrow) Connection(site);
    if (!connection) {
        return nullptr;
    }
    TreeAccessible* object = new (std::nothrow) TreeAccessible(connection, nullptr);
    // The object took its own reference on the connection.
    connection->Release();
    return object;
}

void DetachTreeAccessible(IAccessible* accessible) {
    if (!accessible) {
        return;
    }
    IAccessible* ours = nullptr;
    if (FAILED(accessible->QueryInterface(kTreeAccessibleId, reinterpret_cast<void**>(&ours))) ||
        !ours) {
        return;
    }
    static_cast<TreeAccessible*>(ours)->Detach();
    ours->Release();
}

}  // namespace qm::skin
