#include "skin/control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/control_factory.h"
#include "skin/layout_control.h"

namespace qm::skin {
namespace {

std::vector<std::string> g_log;
int g_live_controls = 0;
int g_live_listeners = 0;

constexpr int32_t kProbeType = 900;
constexpr int32_t kFailingType = 901;

// A control that counts its instances and writes what reaches it into the log.
class Probe : public Control {
  public:
    Probe() { ++g_live_controls; }

    int Paint(Bitmap* surface) override {
        g_log.push_back("paint " + GetName());
        return Control::Paint(surface);
    }
    int OnSize(const RECT&) override {
        g_log.push_back("size " + GetName());
        return 1;
    }
    int OnAttachWindow(HWND) override {
        g_log.push_back("attach " + GetName());
        return 1;
    }
    int OnLButtonUp(uint32_t keys, int x, int y) override {
        g_log.push_back("up " + GetName());
        return Control::OnLButtonUp(keys, x, y);
    }
    int OnSetCursor(HWND window, int hit, int message) override {
        g_log.push_back("cursor " + GetName());
        return claim_cursor ? 1 : Control::OnSetCursor(window, hit, message);
    }

    bool claim_cursor = false;

  protected:
    ~Probe() override { --g_live_controls; }
};

class Failing : public Probe {
  public:
    int OnCreate() override { return 0; }
};

// Logs "<tag> <event> <control>" and answers with a fixed result.
class Recorder : public ControlListener {
  public:
    Recorder(const std::string& tag, int result) : tag_(tag), result_(result) {
        ++g_live_listeners;
    }

    int OnLButtonDown(Control* c, uint32_t, int, int) override { return Log("down", c); }
    int OnLButtonUp(Control* c, uint32_t, int, int) override { return Log("up", c); }
    int OnMouseEnter(Control* c) override { return Log("enter", c); }
    int OnMouseLeave(Control* c) override { return Log("leave", c); }

  protected:
    ~Recorder() override { --g_live_listeners; }

  private:
    int Log(const char* event, Control* c) {
        g_log.push_back(tag_ + " " + event + " " + c->GetName());
        return result_;
    }

    std::string tag_;
    int result_;
};

// A click handler that tears the window down from inside the click, as a
// close button does: it destroys the tree and drops its own references.
class Closer : public ControlListener {
  public:
    explicit Closer(std::vector<Control*>* held) : held_(held) { ++g_live_listeners; }

    int OnLButtonUp(Control* c, uint32_t, int, int) override {
        g_log.push_back("close " + c->GetName());
        Control* root = c->Root();
        root->Destroy();
        for (Control* control : *held_) {
            control->Release();
        }
        held_->clear();
        // Declining makes the walk go on over the torn-down tree.
        return 0;
    }

  protected:
    ~Closer() override { --g_live_listeners; }

  private:
    std::vector<Control*>* held_;
};

class TestHost : public UiHostBase {
  public:
    void SetHoverControl(Control* control) override {
        g_log.push_back(std::string("host ") + (control ? control->GetName() : "none"));
        UiHostBase::SetHoverControl(control);
    }
};

RECT R(int32_t l, int32_t t, int32_t r, int32_t b) {
    RECT rect;
    rect.left = l;
    rect.top = t;
    rect.right = r;
    rect.bottom = b;
    return rect;
}

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

class ControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterControlTypes();
        ControlFactory::Instance().Register(kProbeType, &CreateControlOf<Probe, kProbeType>);
        ControlFactory::Instance().Register(kFailingType, &CreateControlOf<Failing, kFailingType>);
        g_log.clear();
    }

    void TearDown() override {
        for (Control* c : held_) {
            c->Destroy();
        }
        for (Control* c : held_) {
            c->Release();
        }
        held_.clear();
        EXPECT_EQ(0, g_live_controls);
        EXPECT_EQ(0, g_live_listeners);
    }

    // A probe control owned by the test (released in TearDown).
    Control* Make(const std::string& name, const char* mode = nullptr, RECT rect = RECT{}) {
        Control* c = nullptr;
        EXPECT_EQ(1, CreateControl(kProbeType, &c));
        c->SetName(name);
        if (mode) {
            c->SetLayout(mode, &rect);
        }
        held_.push_back(c);
        return c;
    }

    std::vector<Control*> held_;
};

TEST_F(ControlTest, FactoryCreatesRegisteredTypesOnly) {
    Control* layout = nullptr;
    ASSERT_EQ(1, CreateControl(kLayoutControlType, &layout));
    held_.push_back(layout);
    EXPECT_EQ(kLayoutControlType, layout->GetTypeId());
    EXPECT_EQ("LayoutControl", layout->ClassName());
    EXPECT_EQ("Noset", layout->GetName());
    EXPECT_EQ(1, layout->IsVisible());
    EXPECT_EQ(1, layout->IsEnabled());
    EXPECT_EQ(0, layout->GetHitTestCode());
    EXPECT_EQ(nullptr, layout->GetHostWindow());
    EXPECT_GE(layout->GetId(), 4096);

    Control* probe = Make("probe");
    EXPECT_EQ(layout->GetId() + 1, probe->GetId());
    EXPECT_EQ("Noset", probe->ClassName());

    // Unknown type, null out, and an out that already holds a control.
    Control* none = nullptr;
    EXPECT_EQ(0, CreateControl(12345, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(0, CreateControl(kLayoutControlType, nullptr));
    Control* taken = probe;
    EXPECT_EQ(0, CreateControl(kLayoutControlType, &taken));
    EXPECT_EQ(probe, taken);
    const ControlCreator make_probe = &CreateControlOf<Probe, kProbeType>;
    EXPECT_EQ(0, make_probe(&taken));
    EXPECT_EQ(0, make_probe(nullptr));

    // A control whose OnCreate fails is not handed out, and is freed.
    Control* failed = nullptr;
    EXPECT_EQ(0, CreateControl(kFailingType, &failed));
    EXPECT_EQ(nullptr, failed);
    EXPECT_EQ(1, g_live_controls);  // probe alone; layout controls are not counted

    // The first registration of an id wins.
    EXPECT_EQ(0, ControlFactory::Instance().Register(kLayoutControlType,
                                                     &CreateControlOf<Probe, kProbeType>));
    EXPECT_EQ(0, ControlFactory::Instance().Register(555, nullptr));
    Control* again = nullptr;
    ASSERT_EQ(1, CreateControl(kLayoutControlType, &again));
    held_.push_back(again);
    EXPECT_EQ("LayoutControl", again->ClassName());
}

TEST_F(ControlTest, AddChildRefusesDuplicatesAndLoops) {
    Control* root = Make("root");
    Control* a = Make("a");
    Control* b = Make("b");
    Control* c = Make("c");

    EXPECT_EQ(0, root->AddChild(nullptr));
    EXPECT_EQ(0, root->AddChild(root));
    EXPECT_EQ(1, root->AddChild(a));
    EXPECT_EQ(0, root->AddChild(a));
    EXPECT_EQ(1, a->AddChild(b));
    // b is already below root, two levels down.
    EXPECT_EQ(0, root->AddChild(b));
    // An ancestor as a child would make a loop.
    EXPECT_EQ(0, b->AddChild(root));
    EXPECT_EQ(0, b->AddChild(a));
    EXPECT_EQ(1u, root->ChildCount());
    EXPECT_EQ(1u, a->ChildCount());
    EXPECT_EQ(0u, b->ChildCount());

    // Moving to a second parent moves the link; the first still lists it.
    EXPECT_EQ(1, c->AddChild(b));
    EXPECT_EQ(c, b->GetParent());
    EXPECT_EQ(b, a->ChildAt(0));
    EXPECT_EQ(b, c->ChildAt(0));
    EXPECT_EQ(root, a->GetParent());
    EXPECT_EQ(c, b->Root());
    EXPECT_EQ(root, a->Root());
}

TEST_F(ControlTest, PaintingGoesLastChildFirstAndSkipsHiddenOnes) {
    Control* root = Make("root");
    Control* a = Make("a");
    Control* b = Make("b");
    Control* c = Make("c");
    Control* a1 = Make("a1");
    root->AddChild(a);
    root->AddChild(b);
    root->AddChild(c);
    a->AddChild(a1);
    b->SetVisible(0);
    root->Paint(nullptr);
    const std::vector<std::string> expected = {"paint root", "paint c", "paint a", "paint a1"};
    EXPECT_EQ(expected, g_log);
}

TEST_F(ControlTest, MouseGoesFirstChildFirstAndOnlyWhereListenersAre) {
    const RECT whole = R(0, 0, 100, 100);
    Control* root = Make("root", "inherite");
    Control* top = Make("top", "absolute", R(10, 10, 60, 60));
    Control* under = Make("under", "absolute", R(30, 30, 90, 90));
    Control* deaf = Make("deaf", "absolute", R(0, 0, 100, 100));
    root->AddChild(deaf);  // covers everything, but nothing listens below it
    root->AddChild(top);
    root->AddChild(under);
    root->Layout(whole);
    top->AddListener(new Recorder("t", 0));
    under->AddListener(new Recorder("u", 1));
    root->AddListener(new Recorder("r", 0));

    // Overlap: the first-added sibling is asked first; it declines, so the
    // next one that holds the point is asked and takes it.
    g_log.clear();
    EXPECT_EQ(1, root->OnLButtonUp(0, 40, 40));
    std::vector<std::string> expected = {"up root", "up top", "t up top", "up under", "u up under"};
    EXPECT_EQ(expected, g_log);

    // Only "top" holds the point and declines: the root's own listeners run.
    g_log.clear();
    EXPECT_EQ(0, root->OnLButtonUp(0, 15, 15));
    expected = {"up root", "up top", "t up top", "r up root"};
    EXPECT_EQ(expected, g_log);

    // Right and bottom edges are outside; "deaf" is never asked.
    g_log.clear();
    EXPECT_EQ(1, root->OnLButtonDown(0, 60, 60));
    expected = {"u down under"};
    EXPECT_EQ(expected, g_log);

    // Hidden or disabled: 0, and nothing below is reached.
    g_log.clear();
    under->SetVisible(0);
    EXPECT_EQ(0, root->OnLButtonDown(0, 95, 95) + under->OnLButtonDown(0, 40, 40));
    expected = {"r down root"};
    EXPECT_EQ(expected, g_log);
    under->SetVisible(1);
    root->SetEnabled(0);
    g_log.clear();
    EXPECT_EQ(0, root->OnLButtonUp(0, 40, 40));
    expected = {"up root"};  // the probe's own line; nothing below is asked
    EXPECT_EQ(expected, g_log);
}

TEST_F(ControlTest, EveryListenerOfAControlIsCalled) {
    Control* c = Make("c");
    Recorder* first = new Recorder("1", 1);
    EXPECT_EQ(1, c->AddListener(first));
    EXPECT_EQ(2, c->AddListener(new Recorder("2", 0)));
    EXPECT_EQ(0, c->AddListener(first));  // already there: its index
    EXPECT_EQ(-1, c->AddListener(nullptr));
    EXPECT_EQ(2u, c->ListenerCount());
    EXPECT_EQ(1, c->OnLButtonDown(0, 0, 0));
    const std::vector<std::string> expected = {"1 down c", "2 down c"};
    EXPECT_EQ(expected, g_log);
}

TEST_F(ControlTest, HoverFollowsTheMouseThroughTheDefaultListener) {
    TestHost host;
    Control* root = Make("root", "inherite");
    Control* a = Make("a", "absolute", R(0, 0, 50, 50));
    Control* b = Make("b", "absolute", R(50, 0, 100, 50));
    Control* group = Make("group", "absolute", R(0, 50, 100, 100));
    Control* c = Make("c", "absolute", R(0, 50, 50, 100));
    root->AddChild(a);
    root->AddChild(b);
    root->AddChild(group);
    group->AddChild(c);
    root->Layout(R(0, 0, 100, 100));
    for (Control* control : {a, b, c}) {
        control->AddListener(new Recorder(control->GetName(), 0));
    }
    root->SetUiHost(&host);
    EXPECT_EQ(&host, c->GetUiHost());

    g_log.clear();
    EXPECT_EQ(1, root->OnMouseMove(0, 10, 10));
    std::vector<std::string> expected = {"host a", "a enter a"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(a, host.HoverControl());
    EXPECT_EQ(1, a->IsHover());

    // Moving within a changes nothing.
    g_log.clear();
    EXPECT_EQ(1, root->OnMouseMove(0, 20, 20));
    EXPECT_TRUE(g_log.empty());

    g_log.clear();
    EXPECT_EQ(1, root->OnMouseMove(0, 60, 10));
    expected = {"host none", "a leave a", "host b", "b enter b"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(0, a->IsHover());
    EXPECT_EQ(1, root->HoverInSubtree());

    // Into a nested control: the walk from the root finds b below it.
    g_log.clear();
    EXPECT_EQ(1, root->OnMouseMove(0, 10, 60));
    expected = {"host none", "b leave b", "host c", "c enter c"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(1, group->HoverInSubtree());
    EXPECT_EQ(0, group->IsHover());

    // Leaving a parent whose descendant is hovered clears the descendant
    // and reports 0.
    g_log.clear();
    EXPECT_EQ(0, group->MouseLeave());
    expected = {"host none", "c leave c"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(0, root->HoverInSubtree());
    EXPECT_EQ(0, root->MouseLeave());
    EXPECT_EQ(nullptr, host.HoverControl());

    // A disabled control is not hovered by the default listener.
    c->SetEnabled(0);
    ControlListener* plain = new ControlListener();
    plain->AddRef();
    EXPECT_EQ(0, plain->OnMouseMove(c, 0, 10, 60));
    EXPECT_EQ(0, c->IsHover());
    EXPECT_EQ(0, plain->OnMouseMove(nullptr, 0, 0, 0));
    EXPECT_EQ(0, plain->OnLButtonUp(c, 0, 0, 0));
    plain->Release();

    // MouseEnter twice enters once.
    g_log.clear();
    EXPECT_EQ(0, a->MouseEnter());  // its recorder answers 0
    EXPECT_EQ(0, a->MouseEnter());
    expected = {"host a", "a enter a"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(1, a->SetHover(0));  // the old flag
    EXPECT_EQ(0, a->IsHover());
    host.SetHoverControl(nullptr);
}

TEST_F(ControlTest, TheHostKeepsTheHoveredControlAlive) {
    TestHost host;
    Control* root = Make("root", "inherite");
    Control* a = nullptr;
    ASSERT_EQ(1, CreateControl(kProbeType, &a));
    a->SetName("a");
    const RECT r = R(0, 0, 10, 10);
    a->SetLayout("absolute", &r);
    root->AddChild(a);
    a->AddListener(new Recorder("a", 0));
    root->SetUiHost(&host);
    root->Layout(R(0, 0, 10, 10));
    root->OnMouseMove(0, 1, 1);
    ASSERT_EQ(a, host.HoverControl());
    const int before = g_live_controls;
    root->Destroy();
    a->Release();                        // the test's own reference
    EXPECT_EQ(before, g_live_controls);  // the host still holds it
    host.SetHoverControl(nullptr);
    EXPECT_EQ(before - 1, g_live_controls);
}

TEST_F(ControlTest, NcHitTestReportsDragAreasAroundInteractiveChildren) {
    Control* root = Make("root", "inherite");
    Control* background = Make("background", "inherite");
    Control* button = Make("button", "absolute", R(80, 0, 100, 20));
    Control* title = Make("title", "absolute", R(0, 0, 60, 20));
    root->AddChild(button);
    root->AddChild(title);
    root->AddChild(background);
    root->Layout(R(0, 0, 100, 100));
    background->SetHitTestCode(2);
    title->SetHitTestCode(2);
    button->AddListener(new Recorder("b", 0));

    int code = -1;
    EXPECT_EQ(1, root->NcHitTest(POINT{90, 10}, &code));
    EXPECT_EQ(1, code);  // the button is client area
    EXPECT_EQ(1, root->NcHitTest(POINT{10, 10}, &code));
    EXPECT_EQ(2, code);  // the title drags
    EXPECT_EQ(1, root->NcHitTest(POINT{50, 70}, &code));
    EXPECT_EQ(2, code);  // and so does the background
    EXPECT_EQ(1, root->NcHitTest(POINT{50, 70}, nullptr));

    // Without the background the root itself answers: it holds a listener
    // below it, so it is client area.
    background->SetVisible(0);
    code = -1;
    EXPECT_EQ(1, root->NcHitTest(POINT{50, 70}, &code));
    EXPECT_EQ(1, code);
    // Asked directly, a control without listeners reports its own code, and
    // without a code it is transparent.
    code = -1;
    EXPECT_EQ(1, background->NcHitTest(POINT{50, 70}, &code));
    EXPECT_EQ(2, code);
    code = -1;
    background->SetHitTestCode(0);
    EXPECT_EQ(0, background->NcHitTest(POINT{50, 70}, &code));
    EXPECT_EQ(-1, code);
}

TEST_F(ControlTest, LayoutRunsTopDownAndChildrenLastFirst) {
    Control* root = Make("root", "inherite");
    Control* close = Make("close", "relative:rtrt", R(-40, 1, -1, 22));
    Control* panel = Make("panel", "relative:ltrb", R(10, 30, -10, -10));
    Control* inner = Make("inner", "relative:rbrb", R(-20, -20, -5, -5));
    Control* unset = Make("unset");
    Control* orphan = Make("orphan", "inherite");
    root->AddChild(close);
    root->AddChild(panel);
    root->AddChild(unset);
    panel->AddChild(inner);
    unset->AddChild(orphan);

    root->Layout(R(0, 0, 350, 180));
    const std::vector<std::string> expected = {"size root", "size panel", "size inner",
                                               "size close"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ("0,0,350,180", Text(root->GetBounds()));
    EXPECT_EQ("310,1,349,22", Text(close->GetBounds()));
    EXPECT_EQ("10,30,340,170", Text(panel->GetBounds()));
    EXPECT_EQ("320,150,335,165", Text(inner->GetBounds()));
    // Mode 0 keeps its (empty) bounds, and so does everything below it.
    EXPECT_EQ("0,0,0,0", Text(unset->GetBounds()));
    EXPECT_EQ("0,0,0,0", Text(orphan->GetBounds()));

    // A refused string unsets the mode: the old bounds stay on the next pass.
    RECT r = R(1, 2, 3, 4);
    EXPECT_EQ(0, close->SetLayout("relative:xxxx", &r));
    EXPECT_EQ(kLayoutNotSet, close->GetLayoutMode()->mode);
    root->Layout(R(0, 0, 500, 300));
    EXPECT_EQ("310,1,349,22", Text(close->GetBounds()));
    EXPECT_EQ("470,270,485,285", Text(inner->GetBounds()));
    RECT stored = R(0, 0, 0, 0);
    close->GetLayoutRect(&stored);
    EXPECT_EQ("-40,1,-1,22", Text(stored));
    close->GetLayoutRect(nullptr);
    LayoutMode absolute;
    absolute.mode = kLayoutAbsolute;
    close->SetLayoutMode(absolute);
    root->Layout(R(0, 0, 500, 300));
    EXPECT_EQ("-40,1,-1,22", Text(close->GetBounds()));
}

TEST_F(ControlTest, WindowAndCursorWalks) {
    Control* root = Make("root");
    Control* a = Make("a");
    Control* b = Make("b");
    Control* b1 = Make("b1");
    root->AddChild(a);
    root->AddChild(b);
    b->AddChild(b1);
    HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));
    root->AttachWindow(window);
    std::vector<std::string> expected = {"attach root", "attach b", "attach b1", "attach a"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(window, b1->GetHostWindow());
    // Not a real window here: invalidation must not try to paint it.
    b1->Invalidate();
    b1->SetEnabled(0);

    g_log.clear();
    static_cast<Probe*>(a)->claim_cursor = true;
    EXPECT_EQ(1, root->OnSetCursor(window, 1, 0x200));
    expected = {"cursor root", "cursor a"};
    EXPECT_EQ(expected, g_log);
    g_log.clear();
    static_cast<Probe*>(a)->claim_cursor = false;
    EXPECT_EQ(0, root->OnSetCursor(window, 1, 0x200));
    expected = {"cursor root", "cursor a", "cursor b", "cursor b1"};
    EXPECT_EQ(expected, g_log);
    EXPECT_EQ(1, root->OnShowWindow(1, 0));
    EXPECT_EQ(0, root->OnKeyDown(13, 1, 0));
}

TEST_F(ControlTest, DestroyFreesTheWholeTree) {
    // Built as the application does: only the root is kept.
    Control* root = nullptr;
    ASSERT_EQ(1, CreateControl(kProbeType, &root));
    root->SetLayout("inherite", nullptr);
    for (int i = 0; i < 5; ++i) {
        Control* child = nullptr;
        ASSERT_EQ(1, CreateControl(kProbeType, &child));
        for (int j = 0; j < 3; ++j) {
            Control* leaf = nullptr;
            ASSERT_EQ(1, CreateControl(kProbeType, &leaf));
            leaf->AddListener(new Recorder("leaf", 0));
            ASSERT_EQ(1, child->AddChild(leaf));
            leaf->Release();  // the parent holds it now
        }
        ASSERT_EQ(1, root->AddChild(child));
        child->Release();
    }
    EXPECT_EQ(21, g_live_controls);
    EXPECT_EQ(15, g_live_listeners);
    // The cycles keep everything alive until Destroy breaks them.
    EXPECT_EQ(1, root->Destroy());
    EXPECT_EQ(0u, root->ChildCount());
    EXPECT_EQ(1, g_live_controls);
    EXPECT_EQ(0, g_live_listeners);
    root->Release();
    EXPECT_EQ(0, g_live_controls);
}

TEST_F(ControlTest, ReleasingWithoutDestroyStillFreesWhatAControlHolds) {
    Control* lone = nullptr;
    ASSERT_EQ(1, CreateControl(kProbeType, &lone));
    lone->AddListener(new Recorder("l", 0));
    // A child moved away from its first parent is listed there but no longer
    // points back; releasing that parent must not leak it.
    Control* first = nullptr;
    Control* second = nullptr;
    Control* child = nullptr;
    ASSERT_EQ(1, CreateControl(kProbeType, &first));
    ASSERT_EQ(1, CreateControl(kProbeType, &second));
    ASSERT_EQ(1, CreateControl(kProbeType, &child));
    first->AddChild(child);
    second->AddChild(child);
    child->Release();
    first->Release();
    lone->Release();
    EXPECT_EQ(0, g_live_listeners);
    EXPECT_EQ(2, g_live_controls);  // second and child, which hold each other
    second->Destroy();
    second->Release();
}

TEST_F(ControlTest, AClickHandlerMayDestroyTheTree) {
    std::vector<Control*> app;  // the window's own references
    Control* root = nullptr;
    ASSERT_EQ(1, CreateControl(kProbeType, &root));
    root->SetName("root");
    root->SetLayout("inherite", nullptr);
    app.push_back(root);
    Control* buttons[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(1, CreateControl(kProbeType, &buttons[i]));
        buttons[i]->SetName("b" + std::to_string(i));
        RECT r = R(0, 0, 10, 10);
        buttons[i]->SetLayout("absolute", &r);
        buttons[i]->AddListener(i == 1 ? static_cast<ControlListener*>(new Closer(&app))
                                       : new Recorder("r", 0));
        root->AddChild(buttons[i]);
        app.push_back(buttons[i]);
    }
    root->AddListener(new Recorder("root", 0));
    root->Layout(R(0, 0, 10, 10));
    g_log.clear();

    EXPECT_EQ(0, root->OnLButtonUp(0, 5, 5));
    // b2 and the root lost their listeners to Destroy: nobody else is told.
    const std::vector<std::string> expected = {"up root", "up b0", "r up b0", "up b1", "close b1"};
    EXPECT_EQ(expected, g_log);
    EXPECT_TRUE(app.empty());
    EXPECT_EQ(0, g_live_controls);
    EXPECT_EQ(0, g_live_listeners);
}

}  // namespace
}  // namespace qm::skin
