// Creating controls by type id. The factory maps each id to a creator; the
// skin start-up registers the library's own types.
#pragma once

#include <cstdint>
#include <map>

namespace qm::skin {

class Control;

enum ControlTypeId : int32_t {
    kLayoutControlType = 1,
    kTextControlType = 2,
    kButtonControlType = 3,
    kCheckboxControlType = 4,
    kImageControlType = 5,
    kEditControlType = 6,
    kRichEditControlType = 7,
    kRadioControlType = 8,
    kProgressControlType = 9,
    kFlashControlType = 10,
    kAxHostControlType = 11,
    kTextlinkControlType = 12,
};

// Fills *out with a new control holding one reference and returns 1; returns
// 0 when out is null or already holds a control.
typedef int (*ControlCreator)(Control** out);

// The creator for a class T with a default constructor.
template <class T, int32_t TypeId>
int CreateControlOf(Control** out) {
    if (!out || *out) {
        return 0;
    }
    T* control = new T();
    control->SetIdentity(0, TypeId);
    control->AddRef();
    *out = control;
    return 1;
}

class ControlFactory {
  public:
    // The process-wide factory, made on first use.
    static ControlFactory& Instance();

    // The first registration of an id wins: 1 when inserted, 0 when the id
    // was already present or the creator is null.
    int Register(int32_t type_id, ControlCreator creator);
    ControlCreator Find(int32_t type_id) const;

  private:
    ControlFactory() = default;
    std::map<int32_t, ControlCreator> creators_;
};

// Creates a control of the type, gives it the next process-wide id (from
// 4096) and runs its OnCreate. Returns 1 with *out set, or 0 with nothing
// created for an unknown type, a null out, an *out that already holds a
// control, a failing creator or a failing OnCreate.
int CreateControl(int32_t type_id, Control** out);

// Creators of the standard controls that live above this library (images,
// the controls that draw GDI text and those that embed child windows). Null members stay
// unregistered.
struct StandardControlCreators {
    ControlCreator image = nullptr;
    ControlCreator text = nullptr;
    ControlCreator button = nullptr;
    ControlCreator checkbox = nullptr;
    ControlCreator radio = nullptr;
    ControlCreator progress = nullptr;
    ControlCreator textlink = nullptr;
    // The controls that embed real child windows.
    ControlCreator edit = nullptr;
    ControlCreator rich_edit = nullptr;
    ControlCreator ax_host = nullptr;
    ControlCreator flash = nullptr;
};
// Makes RegisterControlTypes register these too; the Windows library's
// RegisterStandardControls installs them.
void InstallStandardControlCreators(const StandardControlCreators& creators);

// Registers every control type the library has, in the order 1, 5, 7, 6,
// 3, 4, 2, 8, 9, 10, 11, 12 (those without a creator are left out). Called
// by InitializeSkin; calling it again changes nothing.
void RegisterControlTypes();

}  // namespace qm::skin
