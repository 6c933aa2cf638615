#include "skin/layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace qm::skin {
namespace {

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

// Parses and lays out inside parent; the test fails if the string is refused.
RECT Place(const char* mode, const RECT& rect, const RECT& parent) {
    LayoutMode m;
    RECT stored = R(0, 0, 0, 0);
    EXPECT_EQ(1, ParseLayout(mode, &rect, &m, &stored)) << mode;
    RECT bounds = R(-7, -7, -7, -7);
    EXPECT_EQ(1, ComputeLayout(m, stored, parent, &bounds)) << mode;
    return bounds;
}

TEST(LayoutTest, ModesAndAnchorBits) {
    struct Case {
        const char* text;
        uint16_t mode;
        uint8_t anchors;
    } cases[] = {
        {"relative:ltlt", kLayoutRelative, 0xF0}, {"relative:rtrt", kLayoutRelative, 0xF5},
        {"relative:lblb", kLayoutRelative, 0xFA}, {"relative:rbrb", kLayoutRelative, 0xFF},
        {"relative:ltrb", kLayoutRelative, 0xFC}, {"relative:ltlb", kLayoutRelative, 0xF8},
    };
    const RECT rect = R(1, 2, 3, 4);
    for (const Case& c : cases) {
        LayoutMode m;
        RECT stored = R(0, 0, 0, 0);
        EXPECT_EQ(1, ParseLayout(c.text, &rect, &m, &stored)) << c.text;
        EXPECT_EQ(c.mode, m.mode) << c.text;
        EXPECT_EQ(c.anchors, m.anchors) << c.text;
        EXPECT_EQ(Text(rect), Text(stored)) << c.text;
    }

    LayoutMode m;
    RECT stored = R(9, 9, 9, 9);
    // "inherite" ignores the rectangle, given or not.
    EXPECT_EQ(1, ParseLayout("inherite", &rect, &m, &stored));
    EXPECT_EQ(kLayoutInherit, m.mode);
    EXPECT_EQ("9,9,9,9", Text(stored));
    EXPECT_EQ(1, ParseLayout("inherite", nullptr, &m, &stored));
    EXPECT_EQ(kLayoutInherit, m.mode);

    EXPECT_EQ(1, ParseLayout("absolute", &rect, &m, &stored));
    EXPECT_EQ(kLayoutAbsolute, m.mode);
    EXPECT_EQ("1,2,3,4", Text(stored));
}

TEST(LayoutTest, RefusedStringsLeaveTheModeUnsetAndNothingElseChanged) {
    const RECT rect = R(1, 2, 3, 4);
    const char* const bad[] = {
        "relative:xtlt",
        "relative:ltl",
        "relative:ltltl",
        "relative:tltl",
        "relative:lllt",
        "relative:LTLT",
        "relative;ltlt",
        "Relative:ltlt",
        "inherit",
        "inherite ",
        " absolute",
        "absolutely",
        "",
        "relative:",
        "relative:lt\tt",
        "relative:ltlr",
        "relative:bbbb",
    };
    for (const char* text : bad) {
        LayoutMode m;
        m.mode = kLayoutRelative;
        m.anchors = 0x5A;
        RECT stored = R(9, 9, 9, 9);
        EXPECT_EQ(0, ParseLayout(text, &rect, &m, &stored)) << "\"" << text << "\"";
        EXPECT_EQ(kLayoutNotSet, m.mode) << text;
        EXPECT_EQ(0x5A, m.anchors) << text;
        EXPECT_EQ("9,9,9,9", Text(stored)) << text;
        RECT bounds = R(5, 5, 5, 5);
        EXPECT_EQ(0, ComputeLayout(m, stored, R(0, 0, 100, 100), &bounds));
        EXPECT_EQ("5,5,5,5", Text(bounds));
    }

    // Absolute and relative need a rectangle.
    LayoutMode m;
    RECT stored = R(9, 9, 9, 9);
    EXPECT_EQ(0, ParseLayout("absolute", nullptr, &m, &stored));
    EXPECT_EQ(kLayoutNotSet, m.mode);
    EXPECT_EQ(0, ParseLayout("relative:ltlt", nullptr, &m, &stored));
    EXPECT_EQ(kLayoutNotSet, m.mode);
    EXPECT_EQ("9,9,9,9", Text(stored));
    // A null string is refused like an unknown one.
    m.mode = kLayoutInherit;
    EXPECT_EQ(0, ParseLayout(nullptr, &rect, &m, &stored));
    EXPECT_EQ(kLayoutNotSet, m.mode);
    EXPECT_EQ(0, ParseLayout("inherite", &rect, nullptr, &stored));
    EXPECT_EQ(0, ParseLayout("inherite", &rect, &m, nullptr));

    // Mode values nobody can parse to are not laid out either.
    m.mode = 7;
    RECT bounds = R(5, 5, 5, 5);
    EXPECT_EQ(0, ComputeLayout(m, stored, R(0, 0, 10, 10), &bounds));
    EXPECT_EQ(0, ComputeLayout(m, stored, R(0, 0, 10, 10), nullptr));
}

TEST(LayoutTest, WindowExamples) {
    const RECT window = R(0, 0, 350, 180);
    EXPECT_EQ("10,0,180,30", Text(Place("relative:ltlt", R(10, 0, 180, 30), window)));
    EXPECT_EQ("307,1,310,22", Text(Place("relative:rtrt", R(-43, 1, -40, 22), window)));
    EXPECT_EQ("310,1,349,22", Text(Place("relative:rtrt", R(-40, 1, -1, 22), window)));
    EXPECT_EQ("20,44,200,60", Text(Place("relative:ltlt", R(20, 44, 200, 60), window)));
    EXPECT_EQ("10,150,90,172", Text(Place("relative:lblb", R(10, -30, 90, -8), window)));
    EXPECT_EQ("260,150,340,172", Text(Place("relative:rbrb", R(-90, -30, -10, -8), window)));
    EXPECT_EQ("0,0,350,180", Text(Place("relative:ltrb", R(0, 0, 0, 0), window)));
    EXPECT_EQ("0,0,350,180", Text(Place("inherite", R(4, 4, 4, 4), window)));
    EXPECT_EQ("5,6,7,8", Text(Place("absolute", R(5, 6, 7, 8), window)));
    EXPECT_EQ("2,30,12,170", Text(Place("relative:ltlb", R(2, 30, 12, -10), window)));
}

TEST(LayoutTest, ParentOffsetAndResize) {
    // Anchors are measured from the parent's own edges, not the window's.
    const RECT parent = R(100, 50, 300, 150);
    EXPECT_EQ("257,51,260,72", Text(Place("relative:rtrt", R(-43, 1, -40, 22), parent)));
    EXPECT_EQ("110,60,290,140", Text(Place("relative:ltrb", R(10, 10, -10, -10), parent)));
    // An inverted result is stored as it is.
    EXPECT_EQ("290,50,110,150", Text(Place("relative:rtlb", R(-10, 0, 10, 0), parent)));
}

TEST(LayoutTest, ExtremeOffsetsAreHeldAtTheRangeEnds) {
    const RECT parent = R(0, 0, INT32_MAX, INT32_MAX);
    const RECT distant = R(INT32_MAX, 1, INT32_MAX, 1);
    EXPECT_EQ(Text(R(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX)),
              Text(Place("relative:rbrb", distant, parent)));
    const RECT low = R(INT32_MIN, 0, INT32_MIN, 0);
    EXPECT_EQ(Text(R(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN)),
              Text(Place("relative:ltlt", R(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN),
                         R(-5, -5, 0, 0))));
    EXPECT_EQ(Text(R(INT32_MIN + 5, 0, INT32_MIN + 5, 0)),
              Text(Place("relative:rtrt", low, R(0, 0, 5, 0))));
}

}  // namespace
}  // namespace qm::skin
