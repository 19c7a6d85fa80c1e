// Raises a fatal error chosen by argv[1], with errno_ from argv[2]; an exit handler
// reports errno_ as it sees it.
#include <cstdlib>
#include <cstring>

#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/getopt.h>
#include <zav/locale.h>
#include <zav/startup.h>
#include <zav/stdio.h>
#include <zav/stdlib.h>
#include <zav/text_message.h>

namespace {
void report_errno() { zav::fprintf(zav::stderr_, "exit handler: errno %d\n", zav::errno_); }
}  // namespace

int zav::main(int argc, char** argv, char**) {
  zav::setlocale(LC_ALL_, "");
  zav::utility_name = "probe";
  zav::atexit(report_errno);
  const char* kind = argc > 1 ? argv[1] : "plain";
  zav::errno_ = argc > 2 ? static_cast<int>(std::strtol(argv[2], nullptr, 10)) : 0;
  if (std::strcmp(kind, "plain") == 0) zav::fatal_error("plain %s", "words");
  if (std::strcmp(kind, "bang") == 0) zav::fatal_error(text_message(3581, "!memory allocation failure", "E"));
  if (std::strcmp(kind, "numbered") == 0) zav::fatal_error("3581##!memory allocation failure");
  return 0;
}
