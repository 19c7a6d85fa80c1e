// The rm command line: options, operands, questions and failure reports.
#include <cstring>

#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/getopt.h>
#include <zav/isyes.h>
#include <zav/locale.h>
#include <zav/path.h>
#include <zav/startup.h>
#include <zav/stdio.h>
#include <zav/text_message.h>
#include <zav/unistd.h>

#include "rm.h"

namespace rm {

bool recursive = false;
bool force = false;
bool interactive = false;
bool verbose = false;
bool delayed = false;
bool recycle = false;
bool stdin_is_tty = false;
bool entered = false;

int usage() {
  zav::print_usage(zav::text_message(0, "Usage: rm [-firRv] [-d|-s] file ...\n", "U"));
  return 2;
}

namespace {

// One answer line, reused for every question.
char answer[8193];

}  // namespace

int confirm(const char* path, const char* prompt_format) {
  if (force) return 1;
  if (!stdin_is_tty && !interactive) return 1;
  zav::fprintf(zav::stderr_, prompt_format, path);
  if (zav::fgets(answer, sizeof answer, zav::stdin_) == nullptr) return 0;
  // The rest of an overlong line belongs to this answer, not to the next question.
  std::size_t n = std::strlen(answer);
  if (n > 0 && answer[n - 1] != '\n') {
    char rest[256];
    while (zav::fgets(rest, sizeof rest, zav::stdin_) != nullptr) {
      std::size_t m = std::strlen(rest);
      if (m > 0 && rest[m - 1] == '\n') break;
    }
  }
  return zav::isyes(answer) == 1 ? 1 : 0;
}

int report_failure(const char* message_format, const char* path) {
  if (force && (zav::errno_ == zav::ENOENT_ || zav::errno_ == zav::ENOTDIR_)) return 0;
  zav::eprintf(message_format, path);
  return 1;
}

}  // namespace rm

int zav::main(int argc, char** argv, char**) {
  using namespace rm;
  setlocale(LC_ALL_, "");
  recursive = interactive = force = entered = false;
  utility_name = "rm";
  optind = 0;
  for (int c; (c = getopt(argc, argv, "dfirRsv")) != -1;) {
    switch (c) {
      case 'r':
      case 'R':
        recursive = true;
        break;
      case 'd':
        if (recycle) return usage();
        delayed = true;
        break;
      case 's':
        if (delayed) return usage();
        recycle = true;
        break;
      case 'f':
        interactive = false;
        force = true;
        break;
      case 'i':
        force = false;
        interactive = true;
        break;
      case 'v':
        verbose = true;
        break;
      default:
        return usage();
    }
  }
  stdin_is_tty = isatty(fileno(stdin_)) == 1;
  if (optind >= argc) return usage();

  int result = 0;
  for (int i = optind; i < argc; ++i) {
    char* operand = argv[i];
    // Judged as normalisation will leave it, shown as typed.
    if (is_root_or_dot_name(operand)) {
      fprintf(stderr_, text_message(1280, "rm: not allowed to remove %s\n", "E filename"), operand);
      result |= 1;
      continue;
    }
    normalise_path(operand);
    zav::drop_trailing_slash(operand);
    result |= rm_entry(operand, nullptr);
  }
  return result;
}
