#pragma once
// Host versions are four dot-separated numbers ("7.2.0.1"). Parsing follows
// what "%d.%d.%d.%d" (or "%u.%u.%u.%u") scanning gives: leading blanks and a
// sign are accepted before each number, scanning stops at the first text that
// does not fit and the parts not reached stay 0. A number too large for its
// type is clamped instead of wrapping.

#include <array>

std::array<int, 4> parse_version_signed(const wchar_t* text);
std::array<unsigned, 4> parse_version_unsigned(const wchar_t* text);

// Ordered comparison, first part first: -1 when a is older, 1 when it is
// newer, 0 when equal or when either text is null.
int compare_versions(const wchar_t* a, const wchar_t* b);

// 1 only when every part of the installed version is at least the same part
// of the required one (read unsigned). This is not an ordering: 7.2.0.1 is
// not "at least" 7.1.5.0 because its third part is smaller. Null gives 0.
int version_parts_at_least(const wchar_t* installed, const wchar_t* required);
