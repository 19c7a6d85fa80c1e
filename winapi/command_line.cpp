#include "command_line.h"

#include <cstring>

#include <windows.h>

namespace winapi {
namespace {

// Built at start-up: main may rearrange argv later (option parsers do).
char* saved_line;

// glibc calls .init_array entries with the process's argument vector.
void capture_arguments(int argc, char** argv, char**) {
  saved_line = ::strdup(command_line(argc, argv).c_str());
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
