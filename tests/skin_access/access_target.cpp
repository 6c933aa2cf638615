// access-target: the sample tree in a window of its own process, for the
// reader tests. Usage: access-target.exe <window title>
// Prints "ready" once the window is up and "click <control name>" for each
// click its controls get (the check box toggles on the button-down). A click
// on "ActionButton" then runs a nested message loop for four seconds, as a
// modal dialog would. Ends when the window is closed, or after two minutes
// at the latest.
#include <windows.h>

#include <string>

#include "tests/skin_access/access_tree.h"

namespace {

void Say(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using qm::skin::Control;
    using qm::skin::test::CallListener;
    if (argc < 2 || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    {
        qm::skin::test::SampleTree tree = qm::skin::test::BuildSampleTree();
        qm::skin::test::TestControl* check = tree.check;
        const auto clicks = [check](Control* control, CallListener::Event event) {
            if (event == CallListener::Event::kDown && control == check) {
                check->SetChecked(!check->IsAccessChecked());
                check->Invalidate();
            } else if (event == CallListener::Event::kUp) {
                Say("click " + control->GetName());
                if (control->GetName() == "ActionButton") {
                    qm::skin::test::PumpUntil([] { return false; }, 4000);
                    Say("modal loop ended");
                }
            }
        };
        for (Control* control :
             {static_cast<Control*>(tree.button), static_cast<Control*>(check),
              static_cast<Control*>(tree.disabled), static_cast<Control*>(tree.title)}) {
            control->AddListener(new CallListener(clicks));
        }
        qm::skin::test::TestWindow window;
        if (!window.Create(argv[1], tree.root, 200, 150)) {
            return 2;
        }
        Say("ready");
        qm::skin::test::PumpUntil([&window] { return !IsWindow(window.window()); }, 120000);
    }
    CoUninitialize();
    return 0;
}
