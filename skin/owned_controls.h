// The controls a window builds for itself: each created through the factory,
// laid out, named and put under its parent, then released together, the last
// made first.
#pragma once

#include <cstdint>
#include <vector>

#include "skin/control.h"

namespace qm::skin {

class OwnedControls {
  public:
    OwnedControls() = default;
    OwnedControls(const OwnedControls&) = delete;
    OwnedControls& operator=(const OwnedControls&) = delete;
    ~OwnedControls() { ReleaseAll(); }

    // Null when the factory cannot make the type; parent may be null.
    Control* Add(int32_t type, const char* name, const char* mode, const RECT* rect,
                 Control* parent);
    Control* Find(const char* name) const;
    void ReleaseAll();

  private:
    std::vector<Control*> controls_;
};

}  // namespace qm::skin
