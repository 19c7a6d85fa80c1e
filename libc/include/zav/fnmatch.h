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

// 0 when `string` matches `pattern`, FNM_NOMATCH otherwise. Without
// FNM_IGNORE_DUALCASE, matching is case-blind unless the environment holds DUALCASE.
int fnmatch(const char* pattern, const char* string, int flags);

}  // namespace zav
