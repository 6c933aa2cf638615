#include "host/version.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using signed_parts = std::array<int, 4>;
using unsigned_parts = std::array<unsigned, 4>;

TEST(VersionCompare, OrderingDiffersFromThePartByPartTest) {
    // Newer by ordering, yet its third part is below the required one.
    EXPECT_EQ(compare_versions(L"7.2.0.1", L"7.1.5.0"), 1);
    EXPECT_EQ(compare_versions(L"7.1.5.0", L"7.2.0.1"), -1);
    EXPECT_EQ(version_parts_at_least(L"7.2.0.1", L"7.1.5.0"), 0);
    EXPECT_EQ(version_parts_at_least(L"8.0.0.0", L"7.1.5.0"), 0);
    EXPECT_EQ(version_parts_at_least(L"7.2.5.1", L"7.1.5.0"), 1);
    EXPECT_EQ(version_parts_at_least(L"7.2.0.1", L"7.2.0.1"), 1);
}

TEST(VersionCompare, MissingPartsCountAsZero) {
    EXPECT_EQ(compare_versions(L"7.2", L"7.2.0.0"), 0);
    EXPECT_EQ(compare_versions(L"7.2.0.0", L"7.2"), 0);
    EXPECT_EQ(version_parts_at_least(L"7.2", L"7.2.0.0"), 1);
    EXPECT_EQ(version_parts_at_least(L"7.2.0.0", L"7.2"), 1);
    EXPECT_EQ(compare_versions(L"7.2", L"7.2.0.1"), -1);
    EXPECT_EQ(compare_versions(L"", L"0.0.0.0"), 0);
    EXPECT_EQ(compare_versions(L"", L"0.0.0.1"), -1);
}

TEST(VersionCompare, PartsCompareAsNumbersFirstPartFirst) {
    EXPECT_EQ(compare_versions(L"10.0", L"9.9.9.9"), 1);
    EXPECT_EQ(compare_versions(L"8.0.0.0", L"7.9.9.9"), 1);
    EXPECT_EQ(compare_versions(L"7.2.0.10", L"7.2.0.9"), 1);
    EXPECT_EQ(compare_versions(L"-1", L"0"), -1);                // signed parts
    EXPECT_EQ(version_parts_at_least(L"-1", L"4000000000"), 1);  // unsigned parts
}

TEST(VersionCompare, NullGivesZero) {
    EXPECT_EQ(compare_versions(nullptr, L"1.0"), 0);
    EXPECT_EQ(compare_versions(L"1.0", nullptr), 0);
    EXPECT_EQ(version_parts_at_least(nullptr, L"1.0"), 0);
    EXPECT_EQ(version_parts_at_least(L"1.0", nullptr), 0);
    EXPECT_EQ(parse_version_signed(nullptr), (signed_parts{0, 0, 0, 0}));
}

TEST(VersionParse, StopsWhereScanningStops) {
    EXPECT_EQ(parse_version_signed(L"abc"), (signed_parts{0, 0, 0, 0}));
    EXPECT_EQ(parse_version_signed(L"7.x.5.1"), (signed_parts{7, 0, 0, 0}));
    EXPECT_EQ(parse_version_signed(L"7..2"), (signed_parts{7, 0, 0, 0}));
    EXPECT_EQ(parse_version_signed(L"7,2"), (signed_parts{7, 0, 0, 0}));
    EXPECT_EQ(parse_version_signed(L"7.2beta.3"), (signed_parts{7, 2, 0, 0}));
    EXPECT_EQ(parse_version_signed(L"1.2.3.4.5"), (signed_parts{1, 2, 3, 4}));
    EXPECT_EQ(parse_version_signed(L"7.2.0.0000"), (signed_parts{7, 2, 0, 0}));
    EXPECT_EQ(parse_version_signed(L" 7. 2.\t3"), (signed_parts{7, 2, 3, 0}));
    EXPECT_EQ(parse_version_signed(L"7 .2"), (signed_parts{7, 0, 0, 0}));
    EXPECT_EQ(parse_version_signed(L"+7.-1.-"), (signed_parts{7, -1, 0, 0}));
    EXPECT_EQ(compare_versions(L"garbage", L"0"), 0);
    EXPECT_EQ(compare_versions(L"garbage", L"0.0.0.1"), -1);
}

TEST(VersionParse, OutOfRangeNumbersClampWithoutWrapping) {
    EXPECT_EQ(parse_version_signed(L"2147483647.2147483648.-2147483648.-2147483649"),
              (signed_parts{INT_MAX, INT_MAX, INT_MIN, INT_MIN}));
    EXPECT_EQ(parse_version_signed(L"99999999999999999999999999.1"),
              (signed_parts{INT_MAX, 1, 0, 0}));
    EXPECT_EQ(parse_version_unsigned(L"4294967295.4294967296.99999999999999999999999.1"),
              (unsigned_parts{UINT_MAX, UINT_MAX, UINT_MAX, 1}));
    // A minus sign negates in the unsigned type, as strtoul does.
    EXPECT_EQ(parse_version_unsigned(L"-1.-4294967295.-4294967296"),
              (unsigned_parts{UINT_MAX, 1, UINT_MAX, 0}));
}

}  // namespace
