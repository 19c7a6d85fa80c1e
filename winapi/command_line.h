// GetCommandLineA's line, built from the host's argument vector.
#pragma once

#include <string>
#include <string_view>

namespace winapi {

// One argument as the runtime's splitting gives it back byte for byte: bare when
// that is safe, otherwise each run without ' in single quotes and each ' as "'".
// Arguments holding *, ? or [ are always quoted: the host shell has already
// expanded the patterns the user left unquoted.
std::string quote_argument(std::string_view argument);

std::string command_line(int argc, const char* const* argv);

}  // namespace winapi
