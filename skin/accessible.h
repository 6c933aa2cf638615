// Screen readers and UI automation see a skinned window's control tree
// through one accessible object per window. Windows only.
//
// Controls are addressed by their control id (GetId(), unique in the
// process), which is also the child id the window host passes with the
// system's WinEvents (object id OBJID_CLIENT), so that a reader can match an
// event to the element it reads.
#pragma once

#include <windows.h>

#include <oleacc.h>

namespace qm::skin {

class Control;

// What the accessible object asks of the window that shows the tree.
class AccessibleSite {
  public:
    virtual HWND AccessibleWindow() = 0;
    // The root of the tree, or null when there is none.
    virtual Control* AccessibleRoot() = 0;
    // The control that has the keyboard focus, or null.
    virtual Control* AccessibleFocus() = 0;

  protected:
    ~AccessibleSite() = default;
};

// A new accessible object for the window's client area, holding one
// reference for the caller. The site must outlive it or be detached first.
IAccessible* CreateTreeAccessible(AccessibleSite* site);

// Cuts the object off from its site (on window destruction): the object may
// live on in a reader's hands, and every later call answers E_FAIL (or
// CO_E_OBJNOTCONNECTED where the system expects that).
void DetachTreeAccessible(IAccessible* accessible);

}  // namespace qm::skin
