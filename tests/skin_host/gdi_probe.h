// How many GDI objects a piece of code creates, where GetGuiResources does
// not count them (Wine answers 0). The system hands out GDI handles from a
// table whose freed entries are reused last-freed first, each reuse with a
// new handle value: an object created and freed right before the code and
// another right after get handles one step apart exactly when the code
// created no object in between. The step is learnt first, and the probe
// answers "cannot tell" where the system allocates otherwise.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qm::skin::test {

class GdiProbe {
  public:
    GdiProbe() {
        const uintptr_t a = Cycle(), b = Cycle();
        step_ = b - a;
        // One object held across: the next handle must differ from a plain
        // step, or the probe could not see creations.
        const uintptr_t c = Cycle();
        HBRUSH held = CreateSolidBrush(RGB(1, 2, 3));
        DeleteObject(held);
        const uintptr_t d = Cycle();
        const uintptr_t e = Cycle(), f = Cycle();
        usable_ = step_ != 0 && d - c != step_ && f - e == step_;
    }

    // True when the probe works on this system.
    bool usable() const { return usable_; }

    // Whether call created (and perhaps freed) any GDI object: 1 yes, 0 no,
    // -1 cannot tell.
    template <class F>
    int Creates(F&& call) const {
        if (!usable_) {
            return -1;
        }
        const uintptr_t before = Cycle();
        call();
        const uintptr_t after = Cycle();
        return after - before == step_ ? 0 : 1;
    }

  private:
    static uintptr_t Cycle() {
        HBRUSH brush = CreateSolidBrush(RGB(9, 8, 7));
        DeleteObject(brush);
        return reinterpret_cast<uintptr_t>(brush);
    }

    uintptr_t step_ = 0;
    bool usable_ = false;
};

}  // namespace qm::skin::test
