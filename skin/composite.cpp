#include "skin/composite.h"

#include "skin/control_factory.h"

namespace qm::skin {

void PrepareInnerControl(Control* owner, Control* inner, const char* name) {
    inner->SetName(name);
    inner->SetLayout("inherite", nullptr);
    if (owner->GetHostWindow()) {
        inner->AttachWindow(owner->GetHostWindow());
    }
}

int InteractionListener::OnLButtonDown(Control* control, uint32_t, int, int) {
    if (control == owner_) {
        hooks_->OnPointerDown();
    }
    return 0;
}

int InteractionListener::OnLButtonUp(Control* control, uint32_t, int, int) {
    if (control == owner_) {
        hooks_->OnPointerUp();
    }
    return 0;
}

int InteractionListener::OnMouseEnter(Control* control) {
    if (control == owner_) {
        hooks_->OnPointerEnter();
    }
    return 0;
}

int InteractionListener::OnMouseLeave(Control* control) {
    if (control == owner_) {
        hooks_->OnPointerLeave();
    }
    return 0;
}

int AttachInteractionListener(Control* control, InteractionHooks* hooks) {
    InteractionListener* listener = new InteractionListener(control, hooks);
    listener->AddRef();
    const int added = control->AddListener(listener);
    listener->Release();
    return added > 0 ? 1 : 0;
}

}  // namespace qm::skin
