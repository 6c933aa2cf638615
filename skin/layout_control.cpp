#include "skin/layout_control.h"

namespace qm::skin {

LayoutControl::LayoutControl() {
    SetClassName("LayoutControl");
}

}  // namespace qm::skin
