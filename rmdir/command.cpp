// The rmdir command line: removes empty directories and, with -p, their parents.
#include <cstring>

#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/getopt.h>
#include <zav/locale.h>
#include <zav/path.h>
#include <zav/startup.h>
#include <zav/stat.h>
#include <zav/stdio.h>
#include <zav/text_message.h>
#include <zav/unistd.h>

namespace rmdir {

int usage() {
  zav::print_usage(zav::text_message(1289, "Usage: rmdir [-p] directory ...\n", "U"));
  return 2;
}

namespace {

// Cuts the last component off for -p: the run of slashes before it becomes the
// end of the path, but the first character is never cut. False when nothing was.
bool cut_to_parent(char* path) {
  char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return false;
  bool cut = false;
  while (slash > path && *slash == '/') {
    *slash-- = '\0';
    cut = true;
  }
  return cut;
}

}  // namespace

// Removes `path` and, with `parents`, the directories above it; 0 or 1.
int remove_operand(char* path, bool parents) {
  while (true) {
    struct zav::stat status;
    bool is_directory = false;
    if (zav::stat(path, &status) == 0) {
      is_directory = (status.st_mode & zav::S_IFMT_) == zav::S_IFDIR_;
      zav::errno_ = is_directory ? 0 : zav::ENOTDIR_;
    } else {
      zav::errno_ = 0;
    }
    zav::normalise_path(path);
    zav::drop_trailing_slash(path);
    if (zav::errno_ == 0 && zav::rmdir(path) == 0) {
      if (!parents || !cut_to_parent(path)) return 0;
      continue;
    }
    if (zav::errno_ == zav::EACCES_ && is_directory) zav::errno_ = zav::ENOTEMPTY_;
    zav::eprintf(zav::text_message(404, "directory \"%s\"", "E pathname"), path);
    return 1;
  }
}

}  // namespace rmdir

int zav::main(int argc, char** argv, char**) {
  setlocale(LC_ALL_, "");
  utility_name = "rmdir";
  int parents = 0;
  for (int c; (c = getopt(argc, argv, "p")) != -1;) {
    if (c != 'p') return rmdir::usage();
    ++parents;
  }
  if (optind >= argc) return rmdir::usage();
  int result = 0;
  for (int i = optind; i < argc; ++i) result |= rmdir::remove_operand(argv[i], parents != 0);
  return result;
}
