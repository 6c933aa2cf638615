// The plain container: it draws nothing itself, only its children. Window
// roots ("UIRoot") and groups of controls are layout controls.
#pragma once

#include "skin/control.h"

namespace qm::skin {

class LayoutControl : public Control {
  public:
    LayoutControl();

  protected:
    ~LayoutControl() override = default;
};

}  // namespace qm::skin
