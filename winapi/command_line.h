// GetCommandLineA's line, built from the host's argument vector, or the ~ entries
// that hand the vector over when no line can carry it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace winapi {

// One argument as the runtime's splitting gives it back byte for byte: bare when
// that is safe, otherwise each run without ' in single quotes and each ' as "'".
// Arguments holding *, ? or [ are always quoted: the host shell has already
// expanded the patterns the user left unquoted.
std::string quote_argument(std::string_view argument);

std::string command_line(int argc, const char* const* argv);

// Whether quote_argument's form comes back byte for byte in the code page of
// the process: not when a double-byte lead byte would take the blank or quote
// that follows it as its second byte.
bool carried_byte_for_byte(std::string_view argument);

// The host's argument vector when the command line could not carry it and it
// goes over as ~ entries of the environment block; null otherwise.
const std::vector<std::string>* handed_over_arguments();

}  // namespace winapi
