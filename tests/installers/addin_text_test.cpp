// The texts of the add-in installer: resource list, "addin.cfg", the test
// for old copies, the subscription list and which folders are other games'.
#include "host/addin_text.h"

#include <gtest/gtest.h>

TEST(AddinText, ResourceListIsOneLineNamingBothToolbarPictures) {
    EXPECT_EQ(addin_resource_list("1001"),
              "<QMUE><resource> <bitmap id=\"bitmap.zudurirozoduro.1001.toolbar.menu\" "
              "path=\"bitmap\\1001toolbar.menu.png\" /> <bitmap "
              "id=\"bitmap.zudurirozoduro.1001.toolbar\" path=\"bitmap\\1001toolbar.png\" /> "
              "</resource></QMUE>");
}

TEST(AddinText, OtherGamesAreTheCopiesWithAnotherId) {
    std::wstring id = L"unchanged";
    EXPECT_TRUE(other_game_id(L"ZudUrirOzoduro2001", L"1001", id));
    EXPECT_EQ(id, L"2001");
    EXPECT_TRUE(other_game_id(L"OldZudUrirOzoduro10", L"1001", id));
    EXPECT_EQ(id, L"10");
    id = L"unchanged";
    EXPECT_FALSE(other_game_id(L"ZudUrirOzoduro1001", L"1001", id));
    EXPECT_FALSE(other_game_id(L"ZudUrirOzoduro", L"1001", id));
    EXPECT_FALSE(other_game_id(L"zudurirozoduro2001", L"1001", id));  // case counts
    EXPECT_FALSE(other_game_id(L"OtherAddin", L"1001", id));
    EXPECT_EQ(id, L"unchanged");
}

TEST(AddinText, AddinCfgGetsTheGameIdAndTitle) {
    std::wstring cfg =
        L"<?xml version=\"1.0\"?>\r\n<addin name=\"ZudUrirOzoduro\" show_name=\"游戏频道\" "
        L"torvane=\"1.7\" />\r\n";
    ASSERT_TRUE(rewrite_addin_cfg(cfg, L"1001", L"泰萨利传说"));
    EXPECT_EQ(cfg,
              L"<?xml version=\"1.0\"?>\r\n<addin name=\"ZudUrirOzoduro1001\" "
              L"show_name=\"泰萨利传说\" torvane=\"1.7\" />\r\n");

    // show_name first, holding the add-in's name: name is still the one
    // that gets the id, and an empty show_name is filled.
    cfg = L"<addin show_name=\"ZudUrirOzoduro\" name=\"ZudUrirOzoduro\" />";
    ASSERT_TRUE(rewrite_addin_cfg(cfg, L"7", L"T"));
    EXPECT_EQ(cfg, L"<addin show_name=\"T\" name=\"ZudUrirOzoduro7\" />");
    cfg = L"<addin name=\"ZudUrirOzoduro\" show_name=\"\"/>";
    ASSERT_TRUE(rewrite_addin_cfg(cfg, L"7", L"A \"B\" & <C>"));
    EXPECT_EQ(cfg, L"<addin name=\"ZudUrirOzoduro7\" show_name=\"A &quot;B&quot; &amp; &lt;C>\"/>");
}

TEST(AddinText, AddinCfgWithoutEitherPlaceStaysAsItIs) {
    for (const wchar_t* text : {L"<addin show_name=\"x\" />", L"<addin name=\"ZudUrirOzoduro\" />",
                                L"<addin name=\"Other\" show_name=\"x\" />",
                                L"<addin name='ZudUrirOzoduro' show_name=\"x\" />",
                                L"<addin name=\"ZudUrirOzoduro\" show_name=\"unterminated", L""}) {
        std::wstring cfg = text;
        EXPECT_FALSE(rewrite_addin_cfg(cfg, L"1001", L"T")) << text;
        EXPECT_EQ(cfg, text);
    }
}

TEST(AddinText, OldCopiesAreTheOnesMadeForTorvane16) {
    EXPECT_TRUE(addin_cfg_has_attribute(L"<addin torvane=\"1.6\" />", L"torvane", L"1.6"));
    EXPECT_TRUE(addin_cfg_has_attribute(L"<addin torvane = '1.6'/>", L"torvane", L"1.6"));
    EXPECT_TRUE(
        addin_cfg_has_attribute(L"<a xtorvane=\"1.6\" torvane=\"1.6\"/>", L"torvane", L"1.6"));
    EXPECT_FALSE(addin_cfg_has_attribute(L"<addin torvane=\"1.7\" />", L"torvane", L"1.6"));
    EXPECT_FALSE(addin_cfg_has_attribute(L"<addin torvane=\"1.6.1\" />", L"torvane", L"1.6"));
    EXPECT_FALSE(addin_cfg_has_attribute(L"<addin oldtorvane=\"1.6\" />", L"torvane", L"1.6"));
    EXPECT_FALSE(addin_cfg_has_attribute(L"<addin torvane=1.6 />", L"torvane", L"1.6"));
    EXPECT_FALSE(addin_cfg_has_attribute(L"<addin torvane=\"1.6'", L"torvane", L"1.6"));
    EXPECT_FALSE(addin_cfg_has_attribute(L"<addin torvane=\"1.6", L"torvane", L"1.6"));
}

TEST(AddinText, SubscriptionGetsTheGameInFrontOnce) {
    EXPECT_EQ(subscribe_list_with(L"", L"1001"), L"1001;");
    EXPECT_EQ(subscribe_list_with(L"2001;", L"1001"), L"1001;2001;");
    EXPECT_EQ(subscribe_list_with(L"2001;1001;", L"1001"), L"2001;1001;");
    EXPECT_EQ(subscribe_list_with(L"1001", L"1001"), L"1001");
    EXPECT_EQ(subscribe_list_with(L"10010;", L"1001"), L"1001;10010;");
    EXPECT_EQ(subscribe_list_with(L"2001;", L""), L"2001;");
}
