// The name masks of FindFirstFile, with Windows' rules as Wine keeps them: '*'
// is any run of characters, '?' one, and ".*" after a name without extension
// matches its end ("*.*" takes every name, "ab.*" takes "ab").
#pragma once

#include <string>
#include <string_view>

namespace winapi {

bool has_wildcard(std::string_view mask);

bool mask_takes(const std::string& mask, const char* name);

}  // namespace winapi
