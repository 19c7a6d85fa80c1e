// Matching a name against a wildcard pattern: * ? [...], groups and
// back-references, and the extended patterns @( ) *( ) +( ) ?( ) !( ).
#pragma once

namespace zav {

inline constexpr int FNM_PATHNAME = 1;  // '/' is matched only by a literal '/'
inline constexpr int FNM_NOESCAPE = 2;
// A leading '.' (the first character, or with FNM_PATHNAME one after a '/') is
// matched only by a '.' that begins the pattern or, with FNM_PATHNAME, follows a '/'.
inline constexpr int FNM_PERIOD = 4;
inline constexpr int FNM_CASEFOLD = 8;
// Decide the case by FNM_CASEFOLD alone, whatever the environment says of DUALCASE.
inline constexpr int FNM_IGNORE_DUALCASE = 32;

inline constexpr int FNM_NOMATCH = 1;
// The heap had no room for what the match needed: neither match nor mismatch.
inline constexpr int FNM_NOSPACE = -1;

// The work of one call is bounded, so that no pattern can hang its caller, and
// past a bound the match gives up: the result is FNM_NOMATCH.
// - Without back-references, the time taken is polynomial in the lengths of
//   pattern and name; FNM_POSITION_WORK counts word operations on sets of name
//   positions. A pattern of 256 bytes needs at most about 7 million against a
//   name of 255 bytes; only patterns and names thousands of bytes long can
//   reach the bound, or need more than the 64 MB a call may take.
// - With a back-reference (a backslash and a digit that names a group) the
//   choices are tried one by one, which can take exponential time; a call
//   gives up after FNM_BACK_REFERENCE_STEPS steps (a step costs about what
//   comparing one character does) or when its choices nest 1000 deep.
// - Parentheses nested more than 200 deep match nothing.
inline constexpr long FNM_POSITION_WORK = 50'000'000;
inline constexpr long FNM_BACK_REFERENCE_STEPS = 1'000'000;

// 0 when `string` matches `pattern`, FNM_NOMATCH when it does not, FNM_NOSPACE
// when memory ran out. Without
// FNM_IGNORE_DUALCASE, matching is case-blind unless the environment holds DUALCASE.
int fnmatch(const char* pattern, const char* string, int flags);

}  // namespace zav
