#include "skin/control_factory.h"

#include <atomic>

#include "skin/control.h"
#include "skin/layout_control.h"

namespace qm::skin {

namespace {

std::atomic<int32_t> g_next_control_id{0x1000};
StandardControlCreators g_standard;

}  // namespace

ControlFactory& ControlFactory::Instance() {
    static ControlFactory factory;
    return factory;
}

int ControlFactory::Register(int32_t type_id, ControlCreator creator) {
    if (!creator) {
        return 0;
    }
    return creators_.emplace(type_id, creator).second ? 1 : 0;
}

ControlCreator ControlFactory::Find(int32_t type_id) const {
    const auto it = creators_.find(type_id);
    return it == creators_.end() ? nullptr : it->second;
}

int CreateControl(int32_t type_id, Control** out) {
    if (!out || *out) {
        return 0;
    }
    const ControlCreator creator = ControlFactory::Instance().Find(type_id);
    if (!creator) {
        return 0;
    }
    Control* control = nullptr;
    if (!creator(&control) || !control) {
        return 0;
    }
    control->SetIdentity(g_next_control_id++, type_id);
    if (!control->OnCreate()) {
        control->Destroy();
        control->Release();
        return 0;
    }
    *out = control;
    return 1;
}

void InstallStandardControlCreators(const StandardControlCreators& creators) {
    g_standard = creators;
}

void RegisterControlTypes() {
    ControlFactory& factory = ControlFactory::Instance();
    const struct {
        int32_t type;
        ControlCreator creator;
    } order[] = {
        {kLayoutControlType, &CreateControlOf<LayoutControl, kLayoutControlType>},
        {kImageControlType, g_standard.image},
        {kRichEditControlType, g_standard.rich_edit},
        {kEditControlType, g_standard.edit},
        {kButtonControlType, g_standard.button},
        {kCheckboxControlType, g_standard.checkbox},
        {kTextControlType, g_standard.text},
        {kRadioControlType, g_standard.radio},
        {kProgressControlType, g_standard.progress},
        {kFlashControlType, g_standard.flash},
        {kAxHostControlType, g_standard.ax_host},
        {kTextlinkControlType, g_standard.textlink},
    };
    for (const auto& entry : order) {
        if (entry.creator) {
            factory.Register(entry.type, entry.creator);
        }
    }
}

}  // namespace qm::skin
