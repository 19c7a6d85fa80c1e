#include "command_line.h"

#include <cstring>

#include <windows.h>

namespace winapi {
namespace {

// Built at start-up: main may rearrange argv later (option parsers do).
char* saved_line;
std::vector<std::string>* handed_over;

bool has_blank(std::string_view text) { return text.find_first_of(" \t") != std::string_view::npos; }

// glibc calls .init_array entries with the process's argument vector. A vector
// that no command line carries goes over as a parent hands one over: the
// command name and a TAB on the line, each argument in a ~ entry.
void capture_arguments(int argc, char** argv, char**) {
  bool carried = true;
  for (int i = 0; i < argc && argv[i]; ++i) carried = carried && carried_byte_for_byte(argv[i]);
  if (carried) {
    saved_line = ::strdup(command_line(argc, argv).c_str());
    return;
  }
  handed_over = new std::vector<std::string>(argv, argv + argc);
  // Start-up takes the first run of non-blank characters for the command name.
  const std::string name = argc > 0 && !has_blank(argv[0]) ? argv[0] : "";
  saved_line = ::strdup((name + "\t").c_str());
}
[[gnu::section(".init_array"), gnu::used]] void (*const capture_at_start)(int, char**, char**) =
    capture_arguments;

bool needs_quotes(std::string_view argument) {
  return argument.empty() || argument.find_first_of(" \t\"'*?[") != std::string_view::npos;
}

}  // namespace

std::string quote_argument(std::string_view argument) {
  if (!needs_quotes(argument)) return std::string(argument);
  std::string quoted;
  size_t start = 0;
  while (start <= argument.size()) {
    size_t quote = argument.find('\'', start);
    size_t end = quote == std::string_view::npos ? argument.size() : quote;
    if (end > start || argument.empty()) {
      quoted += '\'';
      quoted += argument.substr(start, end - start);
      quoted += '\'';
    }
    if (quote == std::string_view::npos) break;
    quoted += "\"'\"";
    start = quote + 1;
  }
  return quoted;
}

// The splitting takes the byte after a lead byte as its second, whatever it
// is: after the last byte of an argument that is the blank or the quote that
// ends it, and before a ' it is the quote that quote_argument closes a run with.
bool carried_byte_for_byte(std::string_view argument) {
  for (size_t i = 0; i < argument.size(); ++i) {
    if (!IsDBCSLeadByte(static_cast<BYTE>(argument[i]))) continue;
    if (i + 1 == argument.size() || argument[i + 1] == '\'') return false;
    ++i;
  }
  return true;
}

const std::vector<std::string>* handed_over_arguments() { return handed_over; }

std::string command_line(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc && argv[i]; ++i) {
    if (i > 0) line += ' ';
    line += quote_argument(argv[i]);
  }
  return line;
}

}  // namespace winapi

extern "C" {

LPSTR WINAPI GetCommandLineA(void) {
  static char empty[] = "";
  return winapi::saved_line ? winapi::saved_line : empty;
}

}  // extern "C"
