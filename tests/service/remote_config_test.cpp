// The configuration and tips reader: encodings, white space, the schema and
// bad documents.
#include <gtest/gtest.h>

#include "app/remote_config.h"
#include "tests/service/service_test_support.h"

using namespace service_test;

namespace {

const char kConfig[] =
    "<config>\n"
    " <public>\n"
    "  <torvaneversion>7.2.0.0</torvaneversion>\n"
    "  <torvaneurl>http://127.0.0.1/TorvaneSetup.exe</torvaneurl>\n"
    "  <addinurl>http://127.0.0.1/addin.zip</addinurl>\n"
    " </public>\n"
    " <game>\n"
    "  <gametitle>\xE6\xB3\xB0\xE8\x90\xA8\xE5\x88\xA9\xE4\xBC\xA0\xE8\xAF\xB4</gametitle>\n"
    "  <skinurl> http://127.0.0.1/s.skn </skinurl>\n"
    "  <taburl>http://127.0.0.1/\n  tab.html</taburl>\n"
    "  <newsurl>http://127.0.0.1/news.html</newsurl>\n"
    "  <hotspoturl>\xE7\x83\xAD\xE7\x82\xB9</hotspoturl>\n"
    "  <tabinfourl>http://127.0.0.1/ti.html</tabinfourl>\n"
    "  <gamesize>  12abc</gamesize>\n"
    "  <gameurl>http://127.0.0.1/outside</gameurl>\n"
    "  <gameurls><gameurl>http://127.0.0.1/old</gameurl></gameurls>\n"
    "  <gameurls>\n"
    "   <gameurl>http://127.0.0.1/g1</gameurl>\n"
    "   <other>http://127.0.0.1/no</other>\n"
    "   <gameurl>http://127.0.0.1/g2</gameurl>\n"
    "   <gameurl>http://127.0.0.1/g3</gameurl>\n"
    "  </gameurls>\n"
    " </game>\n"
    "</config>\n";

// The same document's Chinese texts in code page 936.
std::string Gb2312Twin() {
    std::string text = kConfig;
    auto replace = [&text](const std::string& from, const std::string& to) {
        text.replace(text.find(from), from.size(), to);
    };
    replace("\xE6\xB3\xB0\xE8\x90\xA8\xE5\x88\xA9\xE4\xBC\xA0\xE8\xAF\xB4",
            "\xCC\xA9\xC8\xF8\xC0\xFB\xB4\xAB\xCB\xB5");
    replace("\xE7\x83\xAD\xE7\x82\xB9", "\xC8\xC8\xB5\xE3");
    return "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n" + text;
}

std::wstring Write(const std::wstring& name, const std::string& bytes) {
    static const std::wstring folder = scratch_folder(L"xml");
    write_file(folder + name, bytes);
    return folder + name;
}

}  // namespace

TEST(remote_config_test, maps_the_schema_and_keeps_white_space) {
    RemoteGameValues values;
    ASSERT_EQ(ParseRemoteConfiguration(Write(L"utf8.xml", kConfig), values), 1);
    EXPECT_EQ(values.torvane_version, L"7.2.0.0");
    EXPECT_EQ(values.torvane_url, L"http://127.0.0.1/TorvaneSetup.exe");
    EXPECT_EQ(values.addin_url, L"http://127.0.0.1/addin.zip");
    EXPECT_EQ(values.skin_url, L" http://127.0.0.1/s.skn ");
    EXPECT_EQ(values.tab_url, L"http://127.0.0.1/\n  tab.html");
    EXPECT_EQ(values.tab_info_url, L"http://127.0.0.1/ti.html");
    EXPECT_EQ(values.news_url, L"http://127.0.0.1/news.html");
    EXPECT_EQ(values.hotspot_url, L"\x70ED\x70B9");
    EXPECT_EQ(values.game_size, 12u);
    const std::vector<std::wstring> urls = {L"http://127.0.0.1/g1", L"http://127.0.0.1/g2",
                                            L"http://127.0.0.1/g3"};
    EXPECT_EQ(values.game_urls, urls);
}

TEST(remote_config_test, gb2312_gives_the_values_of_its_utf8_twin_and_capitals_are_refused) {
    RemoteGameValues utf8;
    RemoteGameValues gb;
    ASSERT_EQ(ParseRemoteConfiguration(Write(L"twin-utf8.xml", kConfig), utf8), 1);
    ASSERT_EQ(ParseRemoteConfiguration(Write(L"twin-gb.xml", Gb2312Twin()), gb), 1);
    EXPECT_EQ(gb.hotspot_url, utf8.hotspot_url);
    EXPECT_EQ(gb.skin_url, utf8.skin_url);
    EXPECT_EQ(gb.game_urls, utf8.game_urls);
    EXPECT_EQ(gb.game_size, utf8.game_size);

    std::string capitals = Gb2312Twin();
    capitals.replace(capitals.find("gb2312"), 6, "GB2312");
    RemoteGameValues refused;
    EXPECT_EQ(ParseRemoteConfiguration(Write(L"caps.xml", capitals), refused), 0);
    EXPECT_TRUE(refused.game_urls.empty());
    std::string big5 = Gb2312Twin();
    big5.replace(big5.find("gb2312"), 6, "big5");
    EXPECT_EQ(ParseRemoteConfiguration(Write(L"big5.xml", big5), refused), 0);
    // expat's own encodings are read.
    const std::string latin =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><c><game>"
        "<newsurl>caf\xE9</newsurl></game></c>";
    ASSERT_EQ(ParseRemoteConfiguration(Write(L"latin.xml", latin), refused), 1);
    EXPECT_EQ(refused.news_url, L"caf\xE9");
}

TEST(remote_config_test, game_sizes) {
    EXPECT_EQ(ParseGameSize(L"12abc"), 12u);
    EXPECT_EQ(ParseGameSize(L"abc"), 0u);
    EXPECT_EQ(ParseGameSize(L"  +42"), 42u);
    EXPECT_EQ(ParseGameSize(L"-42"), 0u);
    EXPECT_EQ(ParseGameSize(L"99999999999999999999"), 9223372036854775807ull);
    EXPECT_EQ(ParseGameSize(L""), 0u);
}

TEST(remote_config_test, bad_documents_fail_and_change_nothing) {
    RemoteGameValues values;
    values.news_url = L"kept";
    EXPECT_EQ(ParseRemoteConfiguration(L"C:\\no\\such\\file.xml", values), 0);
    EXPECT_EQ(ParseRemoteConfiguration(Write(L"bad.xml", "<c><game><newsurl>x</game></c>"), values),
              0);
    EXPECT_EQ(ParseRemoteConfiguration(Write(L"empty.xml", ""), values), 0);
    EXPECT_EQ(ParseRemoteConfiguration(Write(L"text.xml", "just text"), values), 0);
    EXPECT_EQ(values.news_url, L"kept");
    // Deep nesting is refused instead of exhausting the stack.
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<a>";
    }
    EXPECT_EQ(ParseRemoteConfiguration(Write(L"deep.xml", deep), values), 0);
    EXPECT_EQ(values.news_url, L"kept");
}

TEST(remote_config_test, a_truncated_document_keeps_what_it_has) {
    std::string text = kConfig;
    text.resize(text.find("<gameurls>\n"));
    RemoteGameValues values;
    ASSERT_EQ(ParseRemoteConfiguration(Write(L"cut.xml", text), values), 1);
    EXPECT_EQ(values.torvane_version, L"7.2.0.0");
    const std::vector<std::wstring> old = {L"http://127.0.0.1/old"};
    EXPECT_EQ(values.game_urls, old);
}

TEST(remote_config_test, large_documents_cross_block_boundaries) {
    std::string text = "<c><game>";
    for (int i = 0; i < 3000; ++i) {
        text += "<skip>filler filler filler</skip>";
    }
    text += "<gameurls><gameurl>http://127.0.0.1/\xE6\xB3\xB0</gameurl></gameurls></game></c>";
    RemoteGameValues values;
    ASSERT_EQ(ParseRemoteConfiguration(Write(L"large.xml", text), values), 1);
    ASSERT_EQ(values.game_urls.size(), 1u);
    EXPECT_EQ(values.game_urls[0], L"http://127.0.0.1/\x6CF0");
}

TEST(remote_config_test, tips_file) {
    RemoteGameValues values;
    const std::string tips =
        "<?xml version=\"1.0\" encoding=\"gb2312\"?><tips><downloader>"
        "<text> \xB5\xE3\xBB\xF7 </text><url>http://127.0.0.1/tips.html</url>"
        "</downloader><text>ignored</text></tips>";
    ASSERT_EQ(ParseTipsFile(Write(L"tips.xml", tips), values), 1);
    EXPECT_EQ(values.tips_text, L" \x70B9\x51FB ");
    EXPECT_EQ(values.tips_url, L"http://127.0.0.1/tips.html");
}
