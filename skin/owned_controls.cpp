#include "skin/owned_controls.h"

#include "skin/control_factory.h"

namespace qm::skin {

Control* OwnedControls::Add(int32_t type, const char* name, const char* mode, const RECT* rect,
                            Control* parent) {
    Control* control = nullptr;
    if (!CreateControl(type, &control)) {
        return nullptr;
    }
    controls_.push_back(control);
    control->SetLayout(mode, rect);
    control->SetName(name);
    if (parent) {
        parent->AddChild(control);
    }
    return control;
}

Control* OwnedControls::Find(const char* name) const {
    for (Control* control : controls_) {
        if (control->GetName() == name) {
            return control;
        }
    }
    return nullptr;
}

void OwnedControls::ReleaseAll() {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        (*it)->Release();
    }
    controls_.clear();
}

}  // namespace qm::skin
