// Removal of one operand: a file at once, a directory only with -r.
#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/stat.h>
#include <zav/stdio.h>
#include <zav/text_message.h>
#include <zav/tree_walk.h>
#include <zav/unistd.h>

#include "rm.h"

namespace rm {

namespace {

bool is_directory(const struct zav::stat& status) { return (status.st_mode & zav::S_IFMT_) == zav::S_IFDIR_; }

bool is_read_only(const struct zav::stat& status) { return (status.st_mode & 0222) == 0; }

int remove_file(const char* path) {
  if (delayed) return zav::rename_ex(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) == 0 ? 0 : -1;
  if (recycle) return zav::unlink_to_recycle_bin(path) >= 0 ? 0 : -1;
  return zav::unlink(path) >= 0 ? 0 : -1;
}

}  // namespace

int rm_walk_callback(const char* path, struct zav::stat64_* status, int event, int) {
  switch (event) {
    case zav::WALK_DIR_PRE:
      entered = false;
      if (is_read_only(*status)) {
        if (!confirm(path, zav::text_message(3197, "directory %s is read only. Remove anyway ? ", "P pathname")))
          return zav::WALK_PRUNE;
      } else if (interactive) {
        if (!confirm(path, zav::text_message(5271, "enter directory %s ? ", "P pathname"))) return zav::WALK_PRUNE;
      }
      entered = true;
      return 0;
    case zav::WALK_NONDIR:
      return rm_entry(path, status) != 0 ? 1 : 0;
    case zav::WALK_NO_STATUS:
      return report_failure(zav::text_message(1286, "cannot stat entry \"%s\"", "E filename"), path);
    case zav::WALK_DIR_UNREADABLE:
      if (!force && !entered) {
        zav::eprintf(zav::text_message(1287, "cannot open directory \"%s\"", "E pathname"), path);
        return 1;
      }
      [[fallthrough]];
    case zav::WALK_DIR_POST:
      if (interactive && !confirm(path, "remove directory %s ? ")) return 0;
      if (zav::rmdir(path) == 0) return 0;
      return report_failure(zav::text_message(3196, "cannot remove directory \"%s\"", "E pathname"), path);
    default:
      return 0;
  }
}

int rm_directory(const char* path) {
  if (!recursive) {
    zav::fprintf(zav::stderr_, zav::text_message(1282, "rm: use \"-r\" to remove directory \"%s\"\n", "E pathname"),
                 path);
    return 1;
  }
  zav::walk_physical = 1;
  int walked = zav::tree_walk(path, rm_walk_callback);
  if (walked == -1) {
    zav::eprintf(zav::text_message(1283, "rm: fatal error during \"-r\" option", "E"));
    return 1;
  }
  return walked == 1 ? 1 : 0;
}

int rm_entry(const char* path, const struct zav::stat* status) {
  if (verbose) zav::puts(path);
  struct zav::stat own;
  if (status == nullptr) {
    if (zav::lstat(path, &own) == 0) status = &own;
  }
  if (status != nullptr) {
    if (is_directory(*status)) return rm_directory(path);
    if (is_read_only(*status)) {
      if (!confirm(path, zav::text_message(3193, "%s is read only. Remove anyway ? ", "P filename"))) return 0;
    } else if (interactive) {
      if (!confirm(path, zav::text_message(3194, "remove %s ? ", "P filename"))) return 0;
    }
  }
  if (remove_file(path) == 0) return 0;
  return report_failure(zav::text_message(3195, "cannot unlink entry \"%s\"", "E filename"), path);
}

}  // namespace rm
