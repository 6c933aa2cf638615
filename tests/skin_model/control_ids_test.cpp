// Alone in its executable: it checks the first ids the process hands out.
#include <gtest/gtest.h>

#include "skin/control.h"
#include "skin/control_factory.h"
#include "skin/layout_control.h"

namespace qm::skin {
namespace {

class Other : public Control {};

TEST(ControlIdsTest, IdsStartAt4096AndCountUpAcrossTypes) {
    RegisterControlTypes();
    ASSERT_EQ(1, ControlFactory::Instance().Register(77, &CreateControlOf<Other, 77>));
    Control* first = nullptr;
    Control* second = nullptr;
    Control* third = nullptr;
    ASSERT_EQ(1, CreateControl(kLayoutControlType, &first));
    // A failed creation hands out no id.
    Control* none = nullptr;
    EXPECT_EQ(0, CreateControl(78, &none));
    ASSERT_EQ(1, CreateControl(77, &second));
    ASSERT_EQ(1, CreateControl(kLayoutControlType, &third));
    EXPECT_EQ(4096, first->GetId());
    EXPECT_EQ(4097, second->GetId());
    EXPECT_EQ(4098, third->GetId());
    EXPECT_EQ(77, second->GetTypeId());
    EXPECT_EQ(kLayoutControlType, third->GetTypeId());
    for (Control* c : {first, second, third}) {
        c->Release();
    }
}

}  // namespace
}  // namespace qm::skin
