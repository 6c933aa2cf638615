// What the composite standard controls (button, check box, radio option,
// progress bar, link) share: inner parts made through the factory and kept
// out of the child list, and the private listener that turns the mouse into
// their interaction states.
#pragma once

#include <cstdint>

#include "skin/control.h"
#include "skin/control_factory.h"

namespace qm::skin {

// Creates an inner part of the given type through the factory, named, set to
// cover the owner's bounds ("inherite") and given the owner's window when it
// has one. The owner places it (OnSize). Null when the factory cannot make it
// or makes something else than T.
template <class T>
T* CreateInnerControl(Control* owner, int32_t type, const char* name);

// Destroys and releases an inner part and clears the pointer.
template <class T>
void ReleaseInnerControl(T*& inner) {
    if (inner) {
        T* released = inner;
        inner = nullptr;
        released->Destroy();
        released->Release();
    }
}

// The interactive controls implement these; the private listener calls them.
class InteractionHooks {
  public:
    virtual void OnPointerEnter() = 0;
    virtual void OnPointerLeave() = 0;
    virtual void OnPointerDown() = 0;
    virtual void OnPointerUp() = 0;

  protected:
    ~InteractionHooks() = default;
};

// Attached by each interactive control to itself when it is created. Every
// handler returns 0 ("not handled"), so that the application's listeners on
// the same control are still called; mouse moves keep the default hover
// tracking.
class InteractionListener : public ControlListener {
  public:
    // Reacts to events of owner only; owner is the hooks' own control.
    InteractionListener(Control* owner, InteractionHooks* hooks) : owner_(owner), hooks_(hooks) {}

    int OnLButtonDown(Control* control, uint32_t keys, int x, int y) override;
    int OnLButtonUp(Control* control, uint32_t keys, int x, int y) override;
    int OnMouseEnter(Control* control) override;
    int OnMouseLeave(Control* control) override;

  protected:
    ~InteractionListener() override = default;

  private:
    // Not owned: the events name the control they are about, and while one
    // is dispatched that control is alive, so the hooks are reached only
    // through an event about their own control.
    Control* owner_;
    InteractionHooks* hooks_;
};

// Attaches a new private listener to control, calling hooks (the same
// object). Returns 0 when it cannot.
int AttachInteractionListener(Control* control, InteractionHooks* hooks);

// Interaction states of buttons, check boxes and radio options.
enum InteractionState : int32_t {
    kStateNormal = 0,
    kStateHover = 1,
    kStatePressed = 2,
    kStateDisabled = 3,  // only as an image slot
};

// ---------------------------------------------------------------------------

void PrepareInnerControl(Control* owner, Control* inner, const char* name);

template <class T>
T* CreateInnerControl(Control* owner, int32_t type, const char* name) {
    Control* created = nullptr;
    if (!CreateControl(type, &created)) {
        return nullptr;
    }
    T* inner = dynamic_cast<T*>(created);
    if (!inner) {
        created->Destroy();
        created->Release();
        return nullptr;
    }
    PrepareInnerControl(owner, inner, name);
    return inner;
}

}  // namespace qm::skin
