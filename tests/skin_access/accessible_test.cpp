// The window's accessible object read in-process, the way a reader in the
// same process (or the system's own proxies) sees it: through
// AccessibleObjectFromWindow on a real window answering WM_GETOBJECT.
#include <windows.h>

#include <oleacc.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/accessible.h"
#include "skin/layout_control.h"
#include "tests/skin_access/access_tree.h"

namespace qm::skin::test {
namespace {

VARIANT Self() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = CHILDID_SELF;
    return v;
}

VARIANT Id(const Control* control) {
    VARIANT v = Self();
    v.lVal = control->GetId();
    return v;
}

VARIANT RawId(LONG id) {
    VARIANT v = Self();
    v.lVal = id;
    return v;
}

std::wstring Take(BSTR text) {
    std::wstring out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return out;
}

std::wstring Name(IAccessible* a, VARIANT child) {
    BSTR text = nullptr;
    a->get_accName(child, &text);
    return Take(text);
}

std::wstring Value(IAccessible* a, VARIANT child) {
    BSTR text = nullptr;
    a->get_accValue(child, &text);
    return Take(text);
}

std::wstring Help(IAccessible* a, VARIANT child) {
    BSTR text = nullptr;
    a->get_accHelp(child, &text);
    return Take(text);
}

std::wstring Action(IAccessible* a, VARIANT child) {
    BSTR text = nullptr;
    a->get_accDefaultAction(child, &text);
    return Take(text);
}

LONG Role(IAccessible* a, VARIANT child) {
    VARIANT role;
    VariantInit(&role);
    if (FAILED(a->get_accRole(child, &role)) || role.vt != VT_I4) {
        VariantClear(&role);
        return -1;
    }
    return role.lVal;
}

LONG State(IAccessible* a, VARIANT child) {
    VARIANT state;
    VariantInit(&state);
    if (FAILED(a->get_accState(child, &state)) || state.vt != VT_I4) {
        VariantClear(&state);
        return -1;
    }
    return state.lVal;
}

RECT Location(IAccessible* a, VARIANT child) {
    LONG x = -1, y = -1, w = -1, h = -1;
    a->accLocation(&x, &y, &w, &h, child);
    return RECT{x, y, x + w, y + h};
}

int32_t References(Control* control) {
    control->AddRef();
    return control->Release();
}

// An IAccessible from a variant that carries an object.
struct Object {
    IAccessible* accessible = nullptr;
    explicit Object(VARIANT* v) {
        if (v->vt == VT_DISPATCH && v->pdispVal) {
            v->pdispVal->QueryInterface(__uuidof(IAccessible),
                                        reinterpret_cast<void**>(&accessible));
        }
        VariantClear(v);
    }
    explicit Object(IDispatch* dispatch) {
        if (dispatch) {
            dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&accessible));
            dispatch->Release();
        }
    }
    ~Object() {
        if (accessible) {
            accessible->Release();
        }
    }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    IAccessible* operator->() const { return accessible; }
    IAccessible* get() const { return accessible; }
};

std::vector<VARIANT> Children(IAccessible* a) {
    LONG count = 0;
    a->get_accChildCount(&count);
    std::vector<VARIANT> children(static_cast<size_t>(count));
    LONG got = 0;
    if (count > 0 && FAILED(AccessibleChildren(a, 0, count, children.data(), &got))) {
        got = 0;
    }
    children.resize(static_cast<size_t>(got));
    return children;
}

void ClearAll(std::vector<VARIANT>* items) {
    for (VARIANT& v : *items) {
        VariantClear(&v);
    }
}

// The help names of every element a reader reaches from a, depth first.
void Walk(IAccessible* a, std::vector<std::wstring>* names, int depth = 0) {
    ASSERT_LT(depth, 16);
    names->push_back(Help(a, Self()));
    std::vector<VARIANT> children = Children(a);
    for (VARIANT& child : children) {
        if (child.vt == VT_DISPATCH) {
            Object object(&child);
            ASSERT_NE(nullptr, object.get());
            Walk(object.get(), names, depth + 1);
        } else {
            ASSERT_EQ(VT_I4, child.vt);
            names->push_back(Help(a, child));
        }
    }
}

// One window serves the tests in turn, each with a tree of its own: a
// window that is destroyed costs Wine about two seconds on a display without
// a window manager. Tests that destroy it get a new one in the next set-up.
class AccessibleTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        shared_ = new TestWindow();
    }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
        CoUninitialize();
    }

    void SetUp() override {
        alive_before_ = TestControl::Alive();
        tree_ = BuildSampleTree();
        if (IsWindow(window_.window())) {
            window_.ReplaceRoot(tree_.root);
        } else {
            ASSERT_TRUE(window_.Create(L"无障碍测试窗口", tree_.root, 120, 90));
        }
        origin_ = POINT{0, 0};
        ClientToScreen(window_.window(), &origin_);
        ASSERT_EQ(S_OK, AccessibleObjectFromWindow(
                            window_.window(), static_cast<DWORD>(OBJID_CLIENT),
                            __uuidof(IAccessible), reinterpret_cast<void**>(&client_)));
        ASSERT_NE(nullptr, client_);
    }

    void TearDown() override {
        if (client_) {
            client_->Release();
        }
        if (IsWindow(window_.window())) {
            window_.SetFocusControl(nullptr);
            window_.ReplaceRoot(nullptr);
        }
    }

    RECT Screen(LONG left, LONG top, LONG right, LONG bottom) const {
        return RECT{origin_.x + left, origin_.y + top, origin_.x + right, origin_.y + bottom};
    }

    static TestWindow* shared_;
    SampleTree tree_;
    TestWindow& window_ = *shared_;
    IAccessible* client_ = nullptr;
    POINT origin_{0, 0};
    int alive_before_ = 0;
};

TestWindow* AccessibleTest::shared_ = nullptr;

void ExpectRect(const RECT& want, const RECT& got) {
    EXPECT_EQ(want.left, got.left);
    EXPECT_EQ(want.top, got.top);
    EXPECT_EQ(want.right, got.right);
    EXPECT_EQ(want.bottom, got.bottom);
}

TEST_F(AccessibleTest, ClientIsTheWindowsClientArea) {
    EXPECT_EQ(ROLE_SYSTEM_CLIENT, Role(client_, Self()));
    EXPECT_EQ(L"无障碍测试窗口", Name(client_, Self()));
    EXPECT_EQ(L"UIRoot", Help(client_, Self()));
    ExpectRect(Screen(0, 0, 320, 200), Location(client_, Self()));
    EXPECT_TRUE(State(client_, Self()) & STATE_SYSTEM_FOCUSABLE);
    EXPECT_FALSE(State(client_, Self()) & STATE_SYSTEM_INVISIBLE);
    // Visible children only: the hidden link and hidden group are left out.
    LONG count = -1;
    EXPECT_EQ(S_OK, client_->get_accChildCount(&count));
    EXPECT_EQ(5, count);
    EXPECT_GE(window_.ObjectRequests(), 1);

    // Above the client is the system's object for the window itself.
    IDispatch* parent = nullptr;
    EXPECT_EQ(S_OK, client_->get_accParent(&parent));
    Object window_object(parent);
    EXPECT_NE(nullptr, window_object.get());
}

TEST_F(AccessibleTest, ElementsReportRoleNameValueHelpAndScreenLocation) {
    struct Row {
        Control* control;
        LONG role;
        const wchar_t* name;
        const wchar_t* value;
        const wchar_t* help;
        RECT bounds;
    };
    const Row rows[] = {
        {tree_.group, ROLE_SYSTEM_GROUPING, L"", L"", L"ButtonGroup", {10, 10, 210, 100}},
        {tree_.button, ROLE_SYSTEM_PUSHBUTTON, L"开始", L"", L"ActionButton", {20, 20, 100, 50}},
        {tree_.check, ROLE_SYSTEM_CHECKBUTTON, L"自动", L"", L"AutoCheck", {110, 20, 200, 50}},
        {tree_.progress,
         ROLE_SYSTEM_PROGRESSBAR,
         L"进度",
         L"30%",
         L"Progress",
         {10, 110, 210, 130}},
        {tree_.title, ROLE_SYSTEM_STATICTEXT, L"标题", L"", L"Title", {10, 140, 210, 160}},
        {tree_.hidden, ROLE_SYSTEM_LINK, L"链接", L"", L"HiddenLink", {10, 170, 100, 190}},
        {tree_.disabled, ROLE_SYSTEM_PUSHBUTTON, L"禁用", L"", L"OffButton", {220, 10, 300, 40}},
        {tree_.background, ROLE_SYSTEM_GRAPHIC, L"", L"", L"ImageBkg", {0, 0, 320, 200}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.help);
        EXPECT_EQ(row.role, Role(client_, Id(row.control)));
        EXPECT_EQ(row.name, Name(client_, Id(row.control)));
        EXPECT_EQ(row.value, Value(client_, Id(row.control)));
        EXPECT_EQ(row.help, Help(client_, Id(row.control)));
        ExpectRect(Screen(row.bounds.left, row.bounds.top, row.bounds.right, row.bounds.bottom),
                   Location(client_, Id(row.control)));
    }
    // No text means S_FALSE and no string, not an empty success.
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_FALSE, client_->get_accName(Id(tree_.background), &text));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(S_FALSE, client_->get_accValue(Id(tree_.button), &text));
    EXPECT_EQ(nullptr, text);
}

TEST_F(AccessibleTest, StatesFollowTheControls) {
    EXPECT_EQ(STATE_SYSTEM_FOCUSABLE, State(client_, Id(tree_.button)));
    EXPECT_EQ(0, State(client_, Id(tree_.title)));
    EXPECT_EQ(STATE_SYSTEM_UNAVAILABLE, State(client_, Id(tree_.disabled)));
    EXPECT_EQ(STATE_SYSTEM_INVISIBLE, State(client_, Id(tree_.hidden)));
    // Hidden through its container.
    EXPECT_EQ(STATE_SYSTEM_INVISIBLE, State(client_, Id(tree_.inner_text)));

    tree_.check->SetChecked(1);
    EXPECT_EQ(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_CHECKED, State(client_, Id(tree_.check)));
    tree_.button->SetHover(1);
    tree_.button->SetPressed(1);
    window_.SetFocusControl(tree_.button);
    EXPECT_EQ(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_HOTTRACKED | STATE_SYSTEM_PRESSED |
                  STATE_SYSTEM_FOCUSED,
              State(client_, Id(tree_.button)));
    // The client is not focused while one of its controls is.
    EXPECT_FALSE(State(client_, Self()) & STATE_SYSTEM_FOCUSED);
    window_.SetFocusControl(nullptr);
    tree_.button->SetFocused(1);
    EXPECT_TRUE(State(client_, Id(tree_.button)) & STATE_SYSTEM_FOCUSED);
    tree_.button->SetFocused(0);

    // A disabled container takes the mouse from everything below it.
    tree_.group->SetEnabled(0);
    EXPECT_TRUE(State(client_, Id(tree_.button)) & STATE_SYSTEM_UNAVAILABLE);
    EXPECT_TRUE(State(client_, Id(tree_.group)) & STATE_SYSTEM_UNAVAILABLE);
    EXPECT_EQ(E_FAIL, client_->accDoDefaultAction(Id(tree_.button)));
}

TEST_F(AccessibleTest, ReaderWalksEveryVisibleControl) {
    std::vector<VARIANT> children = Children(client_);
    ASSERT_EQ(5u, children.size());
    // A container is an object of its own; the others are simple elements
    // named by their control id.
    EXPECT_EQ(VT_DISPATCH, children[0].vt);
    const Control* simple[] = {tree_.progress, tree_.title, tree_.disabled, tree_.background};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(VT_I4, children[i + 1].vt);
        EXPECT_EQ(simple[i]->GetId(), children[i + 1].lVal);
    }
    ClearAll(&children);

    std::vector<std::wstring> names;
    Walk(client_, &names);
    const std::vector<std::wstring> expected{L"UIRoot",    L"ButtonGroup", L"ActionButton",
                                             L"AutoCheck", L"Progress",    L"Title",
                                             L"OffButton", L"ImageBkg"};
    EXPECT_EQ(expected, names);

    // Showing a control brings it into the walk.
    tree_.hidden->SetVisible(1);
    names.clear();
    Walk(client_, &names);
    EXPECT_EQ(9u, names.size());
}

TEST_F(AccessibleTest, ChildObjectsAndTheEnumeration) {
    IDispatch* dispatch = nullptr;
    EXPECT_EQ(S_OK, client_->get_accChild(Id(tree_.group), &dispatch));
    Object group(dispatch);
    ASSERT_NE(nullptr, group.get());
    EXPECT_EQ(ROLE_SYSTEM_GROUPING, Role(group.get(), Self()));
    EXPECT_EQ(L"ButtonGroup", Help(group.get(), Self()));
    EXPECT_EQ(L"开始", Name(group.get(), Id(tree_.button)));
    ExpectRect(Screen(10, 10, 210, 100), Location(group.get(), Self()));
    // Ids outside the group are not its children.
    BSTR text = nullptr;
    EXPECT_EQ(E_INVALIDARG, group->get_accName(Id(tree_.title), &text));

    // A simple element has no object of its own.
    dispatch = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(S_FALSE, client_->get_accChild(Id(tree_.button), &dispatch));
    EXPECT_EQ(nullptr, dispatch);

    // The group's parent is the client again.
    IDispatch* parent = nullptr;
    EXPECT_EQ(S_OK, group->get_accParent(&parent));
    Object client_again(parent);
    ASSERT_NE(nullptr, client_again.get());
    EXPECT_EQ(ROLE_SYSTEM_CLIENT, Role(client_again.get(), Self()));
    EXPECT_EQ(L"UIRoot", Help(client_again.get(), Self()));

    IEnumVARIANT* items = nullptr;
    ASSERT_EQ(S_OK,
              client_->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&items)));
    EXPECT_EQ(S_OK, items->Reset());
    EXPECT_EQ(S_OK, items->Skip(3));
    VARIANT got[3];
    ULONG fetched = 99;
    EXPECT_EQ(S_FALSE, items->Next(3, got, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(tree_.disabled->GetId(), got[0].lVal);
    EXPECT_EQ(tree_.background->GetId(), got[1].lVal);
    EXPECT_EQ(S_FALSE, items->Next(1, got, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_FALSE, items->Skip(1));
    EXPECT_EQ(S_OK, items->Reset());
    EXPECT_EQ(S_OK, items->Skip(1));
    IEnumVARIANT* copy = nullptr;
    ASSERT_EQ(S_OK, items->Clone(&copy));
    EXPECT_EQ(S_OK, copy->Next(1, got, &fetched));
    EXPECT_EQ(tree_.progress->GetId(), got[0].lVal);
    // The copy has its own position.
    EXPECT_EQ(S_OK, items->Next(1, got, &fetched));
    EXPECT_EQ(tree_.progress->GetId(), got[0].lVal);
    copy->Release();
    items->Release();
}

TEST_F(AccessibleTest, ControlWithoutAnIdIsAnObject) {
    // Id 0 is CHILDID_SELF: such a control cannot be a simple element.
    TestControl* plain = new TestControl(Control::AccessRole::kStaticText, L"无编号");
    plain->AddRef();
    ASSERT_EQ(1, tree_.group->AddChild(plain));
    plain->Release();
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, client_->get_accChild(Id(tree_.group), &dispatch));
    Object group(dispatch);
    std::vector<VARIANT> children = Children(group.get());
    ASSERT_EQ(3u, children.size());
    EXPECT_EQ(VT_I4, children[0].vt);
    ASSERT_EQ(VT_DISPATCH, children[2].vt);
    Object object(&children[2]);
    EXPECT_EQ(L"无编号", Name(object.get(), Self()));
    EXPECT_EQ(ROLE_SYSTEM_STATICTEXT, Role(object.get(), Self()));
    ClearAll(&children);
}

TEST_F(AccessibleTest, NavigationSkipsHiddenSiblings) {
    VARIANT end;
    EXPECT_EQ(S_OK, client_->accNavigate(NAVDIR_FIRSTCHILD, Self(), &end));
    {
        Object first(&end);
        ASSERT_NE(nullptr, first.get());
        EXPECT_EQ(L"ButtonGroup", Help(first.get(), Self()));
        // From an object itself, its siblings come back as objects.
        VARIANT next;
        EXPECT_EQ(S_OK, first->accNavigate(NAVDIR_NEXT, Self(), &next));
        Object progress(&next);
        ASSERT_NE(nullptr, progress.get());
        EXPECT_EQ(L"Progress", Help(progress.get(), Self()));
        EXPECT_EQ(ROLE_SYSTEM_PROGRESSBAR, Role(progress.get(), Self()));
        LONG count = -1;
        EXPECT_EQ(S_OK, progress->get_accChildCount(&count));
        EXPECT_EQ(0, count);
        // And children of a child object are its simple elements.
        EXPECT_EQ(S_OK, first->accNavigate(NAVDIR_LASTCHILD, Self(), &next));
        EXPECT_EQ(VT_I4, next.vt);
        EXPECT_EQ(tree_.check->GetId(), next.lVal);
    }
    EXPECT_EQ(S_OK, client_->accNavigate(NAVDIR_LASTCHILD, Self(), &end));
    EXPECT_EQ(VT_I4, end.vt);
    EXPECT_EQ(tree_.background->GetId(), end.lVal);

    struct Step {
        LONG direction;
        Control* from;
        Control* to;
    };
    const Step steps[] = {
        {NAVDIR_NEXT, tree_.progress, tree_.title},
        {NAVDIR_NEXT, tree_.title, tree_.disabled},  // past the hidden link
        {NAVDIR_PREVIOUS, tree_.disabled, tree_.title},
        {NAVDIR_NEXT, tree_.disabled, tree_.background},  // past the hidden group
        {NAVDIR_NEXT, tree_.button, tree_.check},
        {NAVDIR_PREVIOUS, tree_.check, tree_.button},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.from->GetName());
        EXPECT_EQ(S_OK, client_->accNavigate(step.direction, Id(step.from), &end));
        EXPECT_EQ(VT_I4, end.vt);
        EXPECT_EQ(step.to->GetId(), end.lVal);
    }
    EXPECT_EQ(S_OK, client_->accNavigate(NAVDIR_PREVIOUS, Id(tree_.progress), &end));
    Object group(&end);
    EXPECT_NE(nullptr, group.get());

    // Ends of the list, leaves and unknown directions.
    EXPECT_EQ(S_FALSE, client_->accNavigate(NAVDIR_NEXT, Id(tree_.background), &end));
    EXPECT_EQ(VT_EMPTY, end.vt);
    EXPECT_EQ(S_FALSE, client_->accNavigate(NAVDIR_PREVIOUS, Id(tree_.button), &end));
    EXPECT_EQ(S_FALSE, client_->accNavigate(NAVDIR_FIRSTCHILD, Id(tree_.title), &end));
    EXPECT_EQ(S_FALSE, client_->accNavigate(NAVDIR_NEXT, Self(), &end));
    EXPECT_EQ(E_INVALIDARG, client_->accNavigate(99, Self(), &end));
}

TEST_F(AccessibleTest, HitTestFindsTheDeepestVisibleControl) {
    VARIANT hit;
    struct Probe {
        LONG x, y;
        const Control* expected;
    };
    const Probe probes[] = {
        {30, 30, tree_.button},       {150, 40, tree_.check},       {20, 120, tree_.progress},
        {230, 20, tree_.disabled},  // disabled but shown: the mouse lands there
        {250, 150, tree_.background}, {230, 70, tree_.background},  // under the hidden group
        {15, 175, tree_.background},                                // under the hidden link
        {0, 0, tree_.background},     {319, 199, tree_.background},
    };
    for (const Probe& probe : probes) {
        SCOPED_TRACE(testing::Message() << probe.x << "," << probe.y);
        EXPECT_EQ(S_OK, client_->accHitTest(origin_.x + probe.x, origin_.y + probe.y, &hit));
        EXPECT_EQ(VT_I4, hit.vt);
        EXPECT_EQ(probe.expected->GetId(), hit.lVal);
    }
    // Inside the group but on none of its children: the group's object.
    EXPECT_EQ(S_OK, client_->accHitTest(origin_.x + 15, origin_.y + 15, &hit));
    Object group(&hit);
    ASSERT_NE(nullptr, group.get());
    EXPECT_EQ(L"ButtonGroup", Help(group.get(), Self()));
    EXPECT_EQ(S_OK, group->accHitTest(origin_.x + 15, origin_.y + 15, &hit));
    EXPECT_EQ(VT_I4, hit.vt);
    EXPECT_EQ(CHILDID_SELF, hit.lVal);
    EXPECT_EQ(S_OK, group->accHitTest(origin_.x + 30, origin_.y + 30, &hit));
    EXPECT_EQ(tree_.button->GetId(), hit.lVal);
    EXPECT_EQ(S_FALSE, group->accHitTest(origin_.x + 250, origin_.y + 150, &hit));
    EXPECT_EQ(VT_EMPTY, hit.vt);

    // Outside the client area (right and bottom edges excluded).
    EXPECT_EQ(S_FALSE, client_->accHitTest(origin_.x - 1, origin_.y + 5, &hit));
    EXPECT_EQ(VT_EMPTY, hit.vt);
    EXPECT_EQ(S_FALSE, client_->accHitTest(origin_.x + 320, origin_.y + 5, &hit));
    EXPECT_EQ(S_FALSE, client_->accHitTest(origin_.x + 5, origin_.y + 200, &hit));
}

// What a screen reader does with a WinEvent (the window, OBJID_CLIENT and a
// control id) and with the mouse pointer's position.
TEST_F(AccessibleTest, EventsAndPointsLeadToTheirControls) {
    IAccessible* found = nullptr;
    VARIANT child;
    VariantInit(&child);
    ASSERT_EQ(S_OK, AccessibleObjectFromEvent(window_.window(), static_cast<DWORD>(OBJID_CLIENT),
                                              tree_.button->GetId(), &found, &child));
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(L"开始", Name(found, child));
    EXPECT_EQ(L"ActionButton", Help(found, child));
    found->Release();
    VariantClear(&child);

    // A container comes back as its own object.
    ASSERT_EQ(S_OK, AccessibleObjectFromEvent(window_.window(), static_cast<DWORD>(OBJID_CLIENT),
                                              tree_.group->GetId(), &found, &child));
    EXPECT_EQ(L"ButtonGroup", Help(found, child));
    EXPECT_EQ(ROLE_SYSTEM_GROUPING, Role(found, child));
    found->Release();
    VariantClear(&child);

    // On top of every other window, so that the points reach it.
    SetWindowPos(window_.window(), HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    const POINT on_check{origin_.x + 150, origin_.y + 40};
    if (WindowFromPoint(on_check) == window_.window()) {
        ASSERT_EQ(S_OK, AccessibleObjectFromPoint(on_check, &found, &child));
        ASSERT_NE(nullptr, found);
        EXPECT_EQ(L"AutoCheck", Help(found, child));
        EXPECT_EQ(ROLE_SYSTEM_CHECKBUTTON, Role(found, child));
        found->Release();
        VariantClear(&child);
    } else {
        ADD_FAILURE() << "the test window is not at the point on the display";
    }
}

TEST_F(AccessibleTest, FocusIsTheSitesFocusedControl) {
    window_.SetFocusControl(tree_.check);
    VARIANT focus;
    EXPECT_EQ(S_OK, client_->get_accFocus(&focus));
    EXPECT_EQ(VT_I4, focus.vt);
    EXPECT_EQ(tree_.check->GetId(), focus.lVal);

    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, client_->get_accChild(Id(tree_.group), &dispatch));
    Object group(dispatch);
    EXPECT_EQ(S_OK, group->get_accFocus(&focus));
    EXPECT_EQ(tree_.check->GetId(), focus.lVal);

    // Focus outside a container is not the container's business.
    window_.SetFocusControl(tree_.disabled);
    EXPECT_EQ(S_FALSE, group->get_accFocus(&focus));
    EXPECT_EQ(VT_EMPTY, focus.vt);
}

TEST_F(AccessibleTest, DefaultActionIsAClickThroughTheListenersInOrder) {
    std::vector<std::string> log;
    auto record = [&log](const char* who) {
        return [&log, who](Control* control, CallListener::Event event) {
            log.push_back(std::string(who) +
                          (event == CallListener::Event::kDown ? " down " : " up ") +
                          control->GetName());
        };
    };
    tree_.button->AddListener(new CallListener(record("first")));
    tree_.button->AddListener(new CallListener(record("second")));
    // The check box toggles on the button-down, as the real one does.
    tree_.check->AddListener(new CallListener([this](Control*, CallListener::Event event) {
        if (event == CallListener::Event::kDown) {
            tree_.check->SetChecked(!tree_.check->IsAccessChecked());
        }
    }));
    tree_.disabled->AddListener(new CallListener(record("disabled")));
    tree_.title->AddListener(new CallListener(record("title")));

    EXPECT_EQ(L"按下", Action(client_, Id(tree_.button)));
    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.button)));
    // The click comes from the window's message loop, not from inside the
    // reader's call, which a click that opens a modal dialog would hold.
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(PumpUntil([&log] { return log.size() >= 4; }, 5000));
    const std::vector<std::string> expected{"first down ActionButton", "second down ActionButton",
                                            "first up ActionButton", "second up ActionButton"};
    EXPECT_EQ(expected, log);

    EXPECT_EQ(L"选中", Action(client_, Id(tree_.check)));
    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.check)));
    EXPECT_TRUE(PumpUntil([this] { return tree_.check->IsAccessChecked() == 1; }, 5000));
    EXPECT_EQ(L"清除", Action(client_, Id(tree_.check)));
    EXPECT_TRUE(State(client_, Id(tree_.check)) & STATE_SYSTEM_CHECKED);

    // Not for a disabled or hidden control, nor for one a click does nothing
    // for; and no listener hears of it.
    log.clear();
    EXPECT_EQ(L"按下", Action(client_, Id(tree_.disabled)));
    EXPECT_EQ(E_FAIL, client_->accDoDefaultAction(Id(tree_.disabled)));
    EXPECT_EQ(E_FAIL, client_->accDoDefaultAction(Id(tree_.hidden)));
    BSTR text = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_FALSE, client_->get_accDefaultAction(Id(tree_.title), &text));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, client_->accDoDefaultAction(Id(tree_.title)));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, client_->accDoDefaultAction(Self()));
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(log.empty());

    EXPECT_EQ(L"按下", Action(client_, Id(tree_.hidden)));  // a link
    TestControl* radio = new TestControl(Control::AccessRole::kRadioButton, L"选项一");
    radio->AddRef();
    radio->SetIdentity(tree_.root->GetId() + 50000, 0);
    ASSERT_EQ(1, tree_.group->AddChild(radio));
    radio->Release();
    EXPECT_EQ(ROLE_SYSTEM_RADIOBUTTON, Role(client_, Id(radio)));
    EXPECT_EQ(L"选择", Action(client_, Id(radio)));
}

TEST_F(AccessibleTest, UnknownChildIdsAreInvalidArguments) {
    BSTR text = nullptr;
    VARIANT role;
    LONG x, y, w, h;
    const LONG stale[] = {12345678, -7, tree_.button->GetId() + 100000};
    for (LONG id : stale) {
        SCOPED_TRACE(id);
        EXPECT_EQ(E_INVALIDARG, client_->get_accName(RawId(id), &text));
        EXPECT_EQ(E_INVALIDARG, client_->get_accRole(RawId(id), &role));
        EXPECT_EQ(E_INVALIDARG, client_->accLocation(&x, &y, &w, &h, RawId(id)));
        EXPECT_EQ(E_INVALIDARG, client_->accDoDefaultAction(RawId(id)));
    }
    VARIANT wrong;
    VariantInit(&wrong);
    wrong.vt = VT_BSTR;
    wrong.bstrVal = nullptr;
    EXPECT_EQ(E_INVALIDARG, client_->get_accName(wrong, &text));

    // The window puts up a new tree: the old ids are gone, and an object a
    // reader still holds for an old container is cut off.
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, client_->get_accChild(Id(tree_.group), &dispatch));
    Object old_group(dispatch);
    const LONG old_button = tree_.button->GetId();
    SampleTree fresh = BuildSampleTree();
    window_.ReplaceRoot(fresh.root);
    EXPECT_EQ(E_INVALIDARG, client_->get_accName(RawId(old_button), &text));
    EXPECT_EQ(L"开始", Name(client_, Id(fresh.button)));
    EXPECT_EQ(E_FAIL, old_group->get_accName(Self(), &text));
    EXPECT_EQ(E_FAIL, old_group->get_accChildCount(&x));
}

TEST_F(AccessibleTest, DetachedObjectsAnswerFail) {
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, client_->get_accChild(Id(tree_.group), &dispatch));
    Object group(dispatch);
    IEnumVARIANT* items = nullptr;
    ASSERT_EQ(S_OK,
              client_->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&items)));

    window_.Destroy();
    EXPECT_FALSE(IsWindow(window_.window()));

    for (IAccessible* a : {client_, group.get()}) {
        BSTR text = nullptr;
        VARIANT v;
        LONG n = 0, x, y, w, h;
        IDispatch* d = nullptr;
        EXPECT_EQ(E_FAIL, a->get_accName(Self(), &text));
        EXPECT_EQ(E_FAIL, a->get_accValue(Self(), &text));
        EXPECT_EQ(E_FAIL, a->get_accHelp(Self(), &text));
        EXPECT_EQ(E_FAIL, a->get_accDefaultAction(Self(), &text));
        EXPECT_EQ(E_FAIL, a->get_accRole(Self(), &v));
        EXPECT_EQ(E_FAIL, a->get_accState(Self(), &v));
        EXPECT_EQ(E_FAIL, a->get_accChildCount(&n));
        EXPECT_EQ(E_FAIL, a->get_accChild(Id(tree_.button), &d));
        EXPECT_EQ(E_FAIL, a->get_accParent(&d));
        EXPECT_EQ(E_FAIL, a->get_accFocus(&v));
        EXPECT_EQ(E_FAIL, a->accLocation(&x, &y, &w, &h, Self()));
        EXPECT_EQ(E_FAIL, a->accNavigate(NAVDIR_FIRSTCHILD, Self(), &v));
        EXPECT_EQ(E_FAIL, a->accHitTest(origin_.x + 30, origin_.y + 30, &v));
        EXPECT_EQ(E_FAIL, a->accDoDefaultAction(Self()));
        EXPECT_EQ(E_FAIL, a->put_accName(Self(), nullptr));
    }
    VARIANT got;
    ULONG fetched = 0;
    EXPECT_EQ(E_FAIL, items->Next(1, &got, &fetched));
    EXPECT_EQ(E_FAIL, items->Reset());
    items->Release();
}

TEST_F(AccessibleTest, DefaultActionThatDestroysTheWindow) {
    int downs = 0;
    int ups = 0;
    tree_.button->AddListener(new CallListener([&](Control*, CallListener::Event event) {
        if (event == CallListener::Event::kDown) {
            ++downs;
        } else {
            ++ups;
            window_.Destroy();
        }
    }));
    // A second listener after the one that destroys still hears the click:
    // the control holds its listeners through the call.
    tree_.button->AddListener(new CallListener([&](Control*, CallListener::Event event) {
        if (event == CallListener::Event::kUp) {
            ++ups;
        }
    }));
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, client_->get_accChild(Id(tree_.group), &dispatch));
    {
        Object group(dispatch);
        EXPECT_EQ(S_OK, group->accDoDefaultAction(Id(tree_.button)));
        EXPECT_TRUE(PumpUntil([this] { return !IsWindow(window_.window()); }, 5000));
        EXPECT_EQ(1, downs);
        EXPECT_EQ(2, ups);
        EXPECT_FALSE(IsWindow(window_.window()));
        BSTR text = nullptr;
        EXPECT_EQ(E_FAIL, group->get_accName(Id(tree_.button), &text));
        EXPECT_EQ(E_FAIL, client_->get_accName(Self(), &text));
    }
    client_->Release();
    client_ = nullptr;
    // Nothing of the tree is left once the reader lets go.
    EXPECT_EQ(alive_before_, TestControl::Alive());
}

TEST_F(AccessibleTest, WaitingClicksRunInOrderOnlyWhileTheControlCanTakeThem) {
    std::vector<std::string> log;
    auto record = [&log](Control* control, CallListener::Event event) {
        if (event == CallListener::Event::kUp) {
            log.push_back(control->GetName());
        }
    };
    tree_.button->AddListener(new CallListener(record));
    tree_.check->AddListener(new CallListener(record));
    tree_.progress->AddListener(new CallListener(record));

    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.check)));
    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.button)));
    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.check)));
    EXPECT_TRUE(PumpUntil([&log] { return log.size() >= 3; }, 5000));
    EXPECT_EQ((std::vector<std::string>{"AutoCheck", "ActionButton", "AutoCheck"}), log);

    // Disabled or hidden between the press and its turn: no click.
    log.clear();
    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.button)));
    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.check)));
    tree_.button->SetEnabled(0);
    tree_.group->SetVisible(0);
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(log.empty());
}

TEST_F(AccessibleTest, WaitingClicksDieWithTheWindow) {
    int clicks = 0;
    tree_.button->AddListener(new CallListener([&clicks](Control*, CallListener::Event event) {
        if (event == CallListener::Event::kUp) {
            ++clicks;
        }
    }));
    EXPECT_EQ(S_OK, client_->accDoDefaultAction(Id(tree_.button)));
    window_.Destroy();
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(0, clicks);
    client_->Release();
    client_ = nullptr;
    // The waiting click held its control; nothing is left of the tree.
    EXPECT_EQ(alive_before_, TestControl::Alive());
}

TEST_F(AccessibleTest, ReferenceCountsAreExact) {
    IAccessible* a = CreateTreeAccessible(&window_);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(2u, a->AddRef());
    EXPECT_EQ(1u, a->Release());

    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, a->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(1u, unknown->Release());
    IEnumVARIANT* items = nullptr;
    ASSERT_EQ(S_OK, a->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&items)));
    EXPECT_EQ(3u, a->AddRef());
    EXPECT_EQ(2u, a->Release());
    EXPECT_EQ(1u, items->Release());
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK, a->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(&dispatch)));
    EXPECT_EQ(1u, dispatch->Release());
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, a->QueryInterface(__uuidof(IStream), &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, a->QueryInterface(__uuidof(IUnknown), nullptr));

    // A child object holds its control exactly as long as it lives.
    const int32_t group_refs = References(tree_.group);
    ASSERT_EQ(S_OK, a->get_accChild(Id(tree_.group), &dispatch));
    EXPECT_EQ(group_refs + 1, References(tree_.group));
    IAccessible* group = nullptr;
    ASSERT_EQ(S_OK,
              dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&group)));
    EXPECT_EQ(1u, dispatch->Release());
    // Reading does not leak references on the controls.
    const int32_t button_refs = References(tree_.button);
    Name(group, Id(tree_.button));
    VARIANT v;
    group->accNavigate(NAVDIR_FIRSTCHILD, Self(), &v);
    group->accHitTest(origin_.x + 30, origin_.y + 30, &v);
    EXPECT_EQ(button_refs, References(tree_.button));
    EXPECT_EQ(0u, group->Release());
    EXPECT_EQ(group_refs, References(tree_.group));

    DetachTreeAccessible(a);
    DetachTreeAccessible(nullptr);
    EXPECT_EQ(0u, a->Release());
}

TEST_F(AccessibleTest, DetachLeavesOtherAccessibleObjectsAlone) {
    IAccessible* window_object = nullptr;
    ASSERT_EQ(S_OK, AccessibleObjectFromWindow(window_.window(), static_cast<DWORD>(OBJID_WINDOW),
                                               __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&window_object)));
    LONG before[4] = {0, 0, 0, 0};
    const HRESULT hr =
        window_object->accLocation(&before[0], &before[1], &before[2], &before[3], Self());
    DetachTreeAccessible(window_object);
    LONG after[4] = {0, 0, 0, 0};
    EXPECT_EQ(hr, window_object->accLocation(&after[0], &after[1], &after[2], &after[3], Self()));
    EXPECT_EQ(0, memcmp(before, after, sizeof(before)));
    window_object->Release();
    EXPECT_EQ(ROLE_SYSTEM_CLIENT, Role(client_, Self()));
}

TEST(AccessibleNoTree, ClientOfAWindowWithoutControls) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        TestWindow window;
        ASSERT_TRUE(window.Create(L"没有控件", nullptr, 200, 200));
        IAccessible* client = nullptr;
        ASSERT_EQ(S_OK, AccessibleObjectFromWindow(
                            window.window(), static_cast<DWORD>(OBJID_CLIENT),
                            __uuidof(IAccessible), reinterpret_cast<void**>(&client)));
        EXPECT_EQ(ROLE_SYSTEM_CLIENT, Role(client, Self()));
        EXPECT_EQ(L"没有控件", Name(client, Self()));
        LONG count = -1;
        EXPECT_EQ(S_OK, client->get_accChildCount(&count));
        EXPECT_EQ(0, count);
        EXPECT_TRUE(Children(client).empty());
        POINT origin{0, 0};
        ClientToScreen(window.window(), &origin);
        VARIANT hit;
        EXPECT_EQ(S_OK, client->accHitTest(origin.x + 5, origin.y + 5, &hit));
        EXPECT_EQ(VT_I4, hit.vt);
        EXPECT_EQ(CHILDID_SELF, hit.lVal);
        BSTR text = nullptr;
        EXPECT_EQ(E_INVALIDARG, client->get_accName(RawId(4096), &text));
        client->Release();
    }
    CoUninitialize();
}

}  // namespace
}  // namespace qm::skin::test
