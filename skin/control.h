// The retained tree of windowless controls that a skinned window shows:
// reference counting, the tree itself, listeners, mouse dispatch, hover and
// the non-client hit test. Painting goes to a 32-bit surface (Bitmap).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "skin/control_types.h"
#include "skin/layout.h"

namespace qm::skin {

class Bitmap;
class Control;

// Told about clicks and hover of the control it is attached to. Every handler
// returns non-zero for "handled". The default OnMouseMove does the hover
// tracking; keep it when overriding the others.
class ControlListener {
  public:
    ControlListener() = default;
    ControlListener(const ControlListener&) = delete;
    ControlListener& operator=(const ControlListener&) = delete;

    // The count starts at 0; the first holder takes the first reference. An
    // object that lives elsewhere (a window, a static) overrides both.
    virtual int32_t AddRef();
    virtual int32_t Release();

    virtual int OnMouseMove(Control* control, uint32_t keys, int x, int y);
    virtual int OnLButtonDown(Control* control, uint32_t keys, int x, int y);
    virtual int OnLButtonUp(Control* control, uint32_t keys, int x, int y);
    virtual int OnMouseEnter(Control* control);
    virtual int OnMouseLeave(Control* control);

  protected:
    virtual ~ControlListener() = default;

  private:
    std::atomic<int32_t> references_{0};
};

// What a tree needs from the window that shows it: the window host keeps one
// strong reference to the hovered control. The window host derives from this.
class UiHostBase {
  public:
    UiHostBase() = default;
    UiHostBase(const UiHostBase&) = delete;
    UiHostBase& operator=(const UiHostBase&) = delete;
    virtual ~UiHostBase();

    // Takes a reference on control (may be null) and releases the previous one.
    virtual void SetHoverControl(Control* control);

    // What changed on a control, for screen readers that follow the window.
    enum class Change { kName, kValue, kState, kShown, kHidden };
    // Told by the controls of the tree; the window host raises the matching
    // system event. Does nothing here.
    virtual void ControlChanged(Control* control, Change change);
    Control* HoverControl() const { return hover_; }

  private:
    Control* hover_ = nullptr;
};

class Control {
  public:
    Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    virtual int32_t AddRef();
    virtual int32_t Release();

    // Computes the bounds from the parent rectangle, calls OnSize, then lays
    // out the children last to first. A control without a mode is skipped
    // with its whole subtree.
    virtual void Layout(const RECT& parent);
    // Paints the visible children, last first, so the first child is on top.
    virtual int Paint(Bitmap* surface);
    virtual void GetLayoutRect(RECT* out) const;
    virtual LayoutMode* GetLayoutMode();
    virtual void SetLayoutMode(const LayoutMode& mode);
    // Returns 1 when the string was accepted; otherwise the control is left
    // without a mode (0). See ParseLayout.
    virtual int SetLayout(const char* mode, const RECT* rect);
    virtual RECT GetBounds() const;
    virtual int IsVisible() const;
    // Does not repaint; the caller invalidates. A change is told to the host.
    virtual void SetVisible(int visible);
    virtual int IsEnabled() const;
    virtual void SetEnabled(int enabled);
    // Returns the previous flag.
    virtual int SetHover(int hover);
    virtual int IsHover() const;
    virtual int HoverInSubtree() const;
    virtual void Invalidate();
    // Visible and inside the bounds (right and bottom edges excluded).
    virtual int HitTest(POINT point) const;
    virtual int OnCreate();
    // Destroys and releases the children, releases the listeners and the
    // parent: what remains are the references held outside the tree.
    virtual int Destroy();
    virtual int OnAttachWindow(HWND window);
    virtual int OnSize(const RECT& bounds);
    virtual int OnShowWindow(int show, int status);
    virtual int OnSetCursor(HWND window, int hit_code, int mouse_message);
    virtual int OnMouseMove(uint32_t keys, int x, int y);
    virtual int OnLButtonDown(uint32_t keys, int x, int y);
    virtual int OnLButtonUp(uint32_t keys, int x, int y);
    virtual int MouseEnter();
    virtual int MouseLeave();
    virtual int OnKeyDown(uint32_t key, uint32_t repeat, uint32_t flags);
    // 1 with *code set when this subtree claims the point, 0 when it is
    // transparent there.
    virtual int NcHitTest(POINT point, int* code);

    // 0 for a null child, for this control or one of its ancestors in the
    // tree, or for a child whose id is already below this control.
    int AddChild(Control* child);
    // The listener's index when already attached, else the new count; -1 for
    // a null listener.
    int AddListener(ControlListener* listener);

    void SetName(const std::string& name) { name_ = name; }
    std::string GetName() const { return name_; }
    const std::string& ClassName() const { return class_name_; }
    void SetHitTestCode(int code) { hit_test_code_ = code; }
    int GetHitTestCode() const { return hit_test_code_; }
    HWND GetHostWindow() const { return host_window_; }
    UiHostBase* GetUiHost() const { return ui_host_; }
    // Sets the host on this control and all its descendants.
    void SetUiHost(UiHostBase* host);
    // Stores the window, calls OnAttachWindow, then recurses into the
    // children from last to first.
    void AttachWindow(HWND window);

    // What screen readers and the keyboard see of a control. The window host
    // maps the role onto the system's accessibility roles.
    enum class AccessRole : int32_t {
        kGrouping,  // containers
        kClient,    // the root of a window
        kPushButton,
        kCheckBox,
        kRadioButton,
        kProgressBar,
        kStaticText,
        kLink,
        kGraphic,
    };
    virtual AccessRole GetAccessRole() const;
    // The text a person sees on the control; empty when it shows none.
    virtual std::wstring GetAccessName() const;
    // What the control currently shows as its value (a progress bar's
    // caption or percentage); empty for controls without one.
    virtual std::wstring GetAccessValue() const;
    // 1 for a checked check box or radio option.
    virtual int IsAccessChecked() const;
    // 1 while a mouse button holds the control down.
    virtual int IsAccessPressed() const;
    // Whether the keyboard can move to this control (interactive controls
    // that are visible and enabled).
    virtual int IsFocusable() const;
    // Set by the window host; interactive controls draw a focus cue while it
    // is set. Invalidates when the flag changes.
    void SetFocused(int focused);
    int IsFocused() const { return focused_; }
    // Tells the window host (when there is one) that this control's name,
    // value or state changed, or that it was shown or hidden.
    void NotifyChange(UiHostBase::Change change);
    // Does what a left click in the middle of the control does: its
    // listeners' OnLButtonDown, then their OnLButtonUp, in attach order.
    // Returns 0 for a control that is hidden or disabled, else 1.
    virtual int DoDefaultAction();

    int32_t GetId() const { return id_; }
    int32_t GetTypeId() const { return type_id_; }
    Control* GetParent() const { return parent_; }
    size_t ChildCount() const { return children_.size(); }
    Control* ChildAt(size_t index) const {
        return index < children_.size() ? children_[index] : nullptr;
    }
    size_t ListenerCount() const { return listeners_.size(); }
    // Listeners of this control and all its descendants.
    int ListenersInSubtree() const;
    // Whether a control with this id is below this control (not itself).
    bool HasDescendantId(int32_t id) const;
    // The top of the tree, following the parent links.
    Control* Root();

    // Set once by the factory that creates the control.
    void SetIdentity(int32_t id, int32_t type_id) {
        id_ = id;
        type_id_ = type_id;
    }

  protected:
    virtual ~Control();
    void SetClassName(const char* name) { class_name_ = name; }

  private:
    enum class MouseEvent { kMove, kDown, kUp };
    int DispatchMouse(MouseEvent event, uint32_t keys, int x, int y);
    // Calls the handler on every listener of this control, in attach order;
    // 1 when any returned non-zero.
    int NotifyListeners(MouseEvent event, uint32_t keys, int x, int y);
    // The key flag of a held left button (the system's MK_LBUTTON).
    static constexpr uint32_t kLeftButtonKey = 1;
    bool HasDescendant(const Control* control) const;

    std::atomic<int32_t> references_{0};
    RECT bounds_{0, 0, 0, 0};
    RECT layout_rect_{0, 0, 0, 0};
    LayoutMode layout_mode_;
    HWND host_window_ = nullptr;
    UiHostBase* ui_host_ = nullptr;
    int32_t id_ = 0;
    int32_t type_id_ = 0;
    std::vector<Control*> children_;
    Control* parent_ = nullptr;
    int visible_ = 1;
    int enabled_ = 1;
    int hit_test_code_ = 0;
    int hover_ = 0;
    int focused_ = 0;
    std::string class_name_ = "Noset";
    std::string name_ = "Noset";
    std::vector<ControlListener*> listeners_;
};

}  // namespace qm::skin
