#include "skin/control.h"

#include "skin/control_window.h"

namespace qm::skin {

namespace {

// Keeps an object alive across calls that may release the last outside
// reference (a click handler that closes the window destroys the tree).
template <class T>
class Hold {
  public:
    explicit Hold(T* object) : object_(object) {
        if (object_) {
            object_->AddRef();
        }
    }
    ~Hold() {
        if (object_) {
            object_->Release();
        }
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

  private:
    T* object_;
};

// A referenced copy of a child or listener list, so that callbacks may add,
// destroy or release while the walk goes on.
template <class T>
class Snapshot {
  public:
    explicit Snapshot(const std::vector<T*>& items) : items_(items) {
        for (T* item : items_) {
            if (item) {
                item->AddRef();
            }
        }
    }
    ~Snapshot() {
        for (T* item : items_) {
            if (item) {
                item->Release();
            }
        }
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    const std::vector<T*>& items() const { return items_; }

  private:
    std::vector<T*> items_;
};

}  // namespace

// ---------------------------------------------------------------------------

int32_t ControlListener::AddRef() {
    return ++references_;
}

int32_t ControlListener::Release() {
    const int32_t left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

int ControlListener::OnMouseMove(Control* control, uint32_t, int, int) {
    if (!control || !control->IsVisible() || !control->IsEnabled()) {
        return 0;
    }
    if (control->IsHover()) {
        return 1;
    }
    Control* root = control->Root();
    Hold<Control> keep_root(root);
    Hold<Control> keep_control(control);
    root->MouseLeave();
    control->MouseEnter();
    return 1;
}

int ControlListener::OnLButtonDown(Control*, uint32_t, int, int) {
    return 0;
}

int ControlListener::OnLButtonUp(Control*, uint32_t, int, int) {
    return 0;
}

int ControlListener::OnMouseEnter(Control*) {
    return 0;
}

int ControlListener::OnMouseLeave(Control*) {
    return 0;
}

// ---------------------------------------------------------------------------

UiHostBase::~UiHostBase() {
    if (hover_) {
        Control* old = hover_;
        hover_ = nullptr;
        old->Release();
    }
}

void UiHostBase::ControlChanged(Control*, Change) {}

void UiHostBase::SetHoverControl(Control* control) {
    if (control) {
        control->AddRef();
    }
    Control* old = hover_;
    hover_ = control;
    if (old) {
        old->Release();
    }
}

// ---------------------------------------------------------------------------

Control::Control() = default;

Control::~Control() {
    // Normally Destroy has emptied everything. A control released without
    // it still gives back what it holds, so that nothing below it leaks.
    for (Control* child : children_) {
        child->Release();
    }
    for (ControlListener* listener : listeners_) {
        if (listener) {
            listener->Release();
        }
    }
    if (parent_) {
        parent_->Release();
    }
}

int32_t Control::AddRef() {
    return ++references_;
}

int32_t Control::Release() {
    const int32_t left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

void Control::Layout(const RECT& parent) {
    RECT bounds;
    if (!ComputeLayout(layout_mode_, layout_rect_, parent, &bounds)) {
        return;
    }
    bounds_ = bounds;
    Hold<Control> self(this);
    OnSize(bounds_);
    const RECT mine = bounds_;
    Snapshot<Control> children(children_);
    for (size_t i = children.items().size(); i-- > 0;) {
        children.items()[i]->Layout(mine);
    }
}

int Control::Paint(Bitmap* surface) {
    // Painting calls no listener, but a child may still change the list: walk
    // it by index, holding each child, rather than copying it (a window
    // repaints its whole tree often, and a repaint should not allocate).
    for (size_t i = children_.size(); i-- > 0;) {
        if (i >= children_.size()) {
            continue;
        }
        Control* child = children_[i];
        Hold<Control> keep(child);
        if (child->IsVisible()) {
            child->Paint(surface);
        }
    }
    return 1;
}

void Control::GetLayoutRect(RECT* out) const {
    if (out) {
        *out = layout_rect_;
    }
}

LayoutMode* Control::GetLayoutMode() {
    return &layout_mode_;
}

void Control::SetLayoutMode(const LayoutMode& mode) {
    layout_mode_ = mode;
}

int Control::SetLayout(const char* mode, const RECT* rect) {
    return ParseLayout(mode, rect, &layout_mode_, &layout_rect_);
}

RECT Control::GetBounds() const {
    return bounds_;
}

int Control::IsVisible() const {
    return visible_;
}

void Control::SetVisible(int visible) {
    const bool changed = (visible_ != 0) != (visible != 0);
    visible_ = visible;
    if (changed) {
        NotifyChange(visible ? UiHostBase::Change::kShown : UiHostBase::Change::kHidden);
    }
}

int Control::IsEnabled() const {
    return enabled_;
}

void Control::SetEnabled(int enabled) {
    if (enabled_ != enabled) {
        enabled_ = enabled;
        Invalidate();
        NotifyChange(UiHostBase::Change::kState);
    }
}

int Control::SetHover(int hover) {
    const int previous = hover_;
    hover_ = hover;
    return previous;
}

int Control::IsHover() const {
    return hover_;
}

int Control::HoverInSubtree() const {
    if (IsHover()) {
        return 1;
    }
    for (Control* child : children_) {
        if (child->HoverInSubtree()) {
            return 1;
        }
    }
    return 0;
}

void Control::Invalidate() {
    if (detail::IsLiveWindow(host_window_)) {
        detail::InvalidateWindowRect(host_window_, bounds_);
    }
}

int Control::HitTest(POINT point) const {
    return IsVisible() && point.x >= bounds_.left && point.x < bounds_.right &&
                   point.y >= bounds_.top && point.y < bounds_.bottom
               ? 1
               : 0;
}

int Control::OnCreate() {
    return 1;
}

int Control::Destroy() {
    Hold<Control> self(this);
    std::vector<Control*> children;
    children.swap(children_);
    for (Control* child : children) {
        child->Destroy();
        child->Release();
    }
    std::vector<ControlListener*> listeners;
    listeners.swap(listeners_);
    for (ControlListener* listener : listeners) {
        if (listener) {
            listener->Release();
        }
    }
    if (parent_) {
        Control* parent = parent_;
        parent_ = nullptr;
        parent->Release();
    }
    // The host may be gone after this; a late call must not reach it.
    ui_host_ = nullptr;
    return 1;
}

int Control::OnAttachWindow(HWND) {
    return 1;
}

int Control::OnSize(const RECT&) {
    return 1;
}

int Control::OnShowWindow(int show, int status) {
    Snapshot<Control> children(children_);
    for (Control* child : children.items()) {
        child->OnShowWindow(show, status);
    }
    return 1;
}

int Control::OnSetCursor(HWND window, int hit_code, int mouse_message) {
    Snapshot<Control> children(children_);
    for (Control* child : children.items()) {
        if (child->OnSetCursor(window, hit_code, mouse_message)) {
            return 1;
        }
    }
    return 0;
}

int Control::OnMouseMove(uint32_t keys, int x, int y) {
    return DispatchMouse(MouseEvent::kMove, keys, x, y);
}

int Control::OnLButtonDown(uint32_t keys, int x, int y) {
    return DispatchMouse(MouseEvent::kDown, keys, x, y);
}

int Control::OnLButtonUp(uint32_t keys, int x, int y) {
    return DispatchMouse(MouseEvent::kUp, keys, x, y);
}

int Control::DispatchMouse(MouseEvent event, uint32_t keys, int x, int y) {
    if (!IsVisible() || !IsEnabled()) {
        return 0;
    }
    Hold<Control> self(this);
    const POINT point{x, y};
    {
        Snapshot<Control> children(children_);
        for (Control* child : children.items()) {
            if (child->ListenersInSubtree() == 0 || !child->HitTest(point)) {
                continue;
            }
            int handled = 0;
            switch (event) {
                case MouseEvent::kMove:
                    handled = child->OnMouseMove(keys, x, y);
                    break;
                case MouseEvent::kDown:
                    handled = child->OnLButtonDown(keys, x, y);
                    break;
                case MouseEvent::kUp:
                    handled = child->OnLButtonUp(keys, x, y);
                    break;
            }
            if (handled) {
                return 1;
            }
        }
    }
    return NotifyListeners(event, keys, x, y);
}

int Control::NotifyListeners(MouseEvent event, uint32_t keys, int x, int y) {
    Hold<Control> self(this);
    Snapshot<ControlListener> listeners(listeners_);
    int any = 0;
    for (ControlListener* listener : listeners.items()) {
        if (!listener) {
            continue;
        }
        int handled = 0;
        switch (event) {
            case MouseEvent::kMove:
                handled = listener->OnMouseMove(this, keys, x, y);
                break;
            case MouseEvent::kDown:
                handled = listener->OnLButtonDown(this, keys, x, y);
                break;
            case MouseEvent::kUp:
                handled = listener->OnLButtonUp(this, keys, x, y);
                break;
        }
        if (handled) {
            any = 1;
        }
    }
    return any;
}

int Control::MouseEnter() {
    if (hover_) {
        return 0;
    }
    hover_ = 1;
    Hold<Control> self(this);
    if (ui_host_) {
        ui_host_->SetHoverControl(this);
    }
    Snapshot<ControlListener> listeners(listeners_);
    int any = 0;
    for (ControlListener* listener : listeners.items()) {
        if (listener && listener->OnMouseEnter(this)) {
            any = 1;
        }
    }
    return any;
}

int Control::MouseLeave() {
    if (!HoverInSubtree()) {
        return 0;
    }
    Hold<Control> self(this);
    if (!hover_) {
        Snapshot<Control> children(children_);
        for (Control* child : children.items()) {
            child->MouseLeave();
        }
        return 0;
    }
    hover_ = 0;
    // Only this control's own hover is given up; a host that has since moved
    // on to another control keeps it.
    if (ui_host_ && ui_host_->HoverControl() == this) {
        ui_host_->SetHoverControl(nullptr);
    }
    Snapshot<ControlListener> listeners(listeners_);
    int any = 0;
    for (ControlListener* listener : listeners.items()) {
        if (listener && listener->OnMouseLeave(this)) {
            any = 1;
        }
    }
    return any;
}

int Control::OnKeyDown(uint32_t, uint32_t, uint32_t) {
    return 0;
}

Control::AccessRole Control::GetAccessRole() const {
    return AccessRole::kGrouping;
}

std::wstring Control::GetAccessName() const {
    return std::wstring();
}

std::wstring Control::GetAccessValue() const {
    return std::wstring();
}

int Control::IsAccessChecked() const {
    return 0;
}

int Control::IsAccessPressed() const {
    return 0;
}

int Control::IsFocusable() const {
    return 0;
}

void Control::SetFocused(int focused) {
    focused = focused ? 1 : 0;
    if (focused_ != focused) {
        focused_ = focused;
        Invalidate();
        NotifyChange(UiHostBase::Change::kState);
    }
}

void Control::NotifyChange(UiHostBase::Change change) {
    if (ui_host_) {
        ui_host_->ControlChanged(this, change);
    }
}

int Control::DoDefaultAction() {
    if (!IsVisible() || !IsEnabled()) {
        return 0;
    }
    const int x = bounds_.left + (bounds_.right - bounds_.left) / 2;
    const int y = bounds_.top + (bounds_.bottom - bounds_.top) / 2;
    Hold<Control> self(this);
    NotifyListeners(MouseEvent::kDown, kLeftButtonKey, x, y);
    NotifyListeners(MouseEvent::kUp, 0, x, y);
    return 1;
}

int Control::NcHitTest(POINT point, int* code) {
    int local = 0;
    if (!code) {
        code = &local;
    }
    {
        Snapshot<Control> children(children_);
        for (Control* child : children.items()) {
            if (!child->HitTest(point)) {
                continue;
            }
            int child_code = 1;
            if (child->NcHitTest(point, &child_code)) {
                *code = child_code;
                return 1;
            }
        }
    }
    if (ListenersInSubtree() > 0) {
        *code = hit_test_code_ ? hit_test_code_ : 1;
        return 1;
    }
    if (hit_test_code_ == 0) {
        return 0;
    }
    *code = hit_test_code_;
    return 1;
}

int Control::AddChild(Control* child) {
    if (!child || child == this) {
        return 0;
    }
    // A control already below this one, by pointer or by id, is refused; so
    // is an ancestor, which would close a loop that no walk could leave.
    if (HasDescendant(child) || HasDescendantId(child->id_) || child->HasDescendant(this)) {
        return 0;
    }
    Control* old_parent = child->parent_;
    child->parent_ = this;
    AddRef();
    if (old_parent) {
        old_parent->Release();
    }
    children_.push_back(child);
    child->AddRef();
    return 1;
}

int Control::AddListener(ControlListener* listener) {
    if (!listener) {
        return -1;
    }
    for (size_t i = 0; i < listeners_.size(); ++i) {
        if (listeners_[i] == listener) {
            return static_cast<int>(i);
        }
    }
    listeners_.push_back(listener);
    listener->AddRef();
    return static_cast<int>(listeners_.size());
}

void Control::SetUiHost(UiHostBase* host) {
    ui_host_ = host;
    for (Control* child : children_) {
        child->SetUiHost(host);
    }
}

void Control::AttachWindow(HWND window) {
    Hold<Control> self(this);
    host_window_ = window;
    OnAttachWindow(window);
    Snapshot<Control> children(children_);
    for (size_t i = children.items().size(); i-- > 0;) {
        children.items()[i]->AttachWindow(window);
    }
}

int Control::ListenersInSubtree() const {
    int count = 0;
    for (ControlListener* listener : listeners_) {
        if (listener) {
            ++count;
        }
    }
    for (Control* child : children_) {
        count += child->ListenersInSubtree();
    }
    return count;
}

bool Control::HasDescendantId(int32_t id) const {
    for (Control* child : children_) {
        if (child->id_ == id || child->HasDescendantId(id)) {
            return true;
        }
    }
    return false;
}

bool Control::HasDescendant(const Control* control) const {
    for (Control* child : children_) {
        if (child == control || child->HasDescendant(control)) {
            return true;
        }
    }
    return false;
}

Control* Control::Root() {
    Control* control = this;
    while (control->parent_) {
        control = control->parent_;
    }
    return control;
}

}  // namespace qm::skin
