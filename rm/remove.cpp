// Removal of one operand: a file at once, a directory only with -r.
#include <zav/diagnostics.h>
#include <zav/errno.h>
#include <zav/stat.h>
#include <zav/stdio.h>
#include <zav/text_message.h>
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

int rm_directory(const char* path) {
  if (!recursive) {
    zav::fprintf(zav::stderr_, zav::text_message(1282, "rm: use \"-r\" to remove directory \"%s\"\n", "E pathname"),
                 path);
    return 1;
  }
  // Trees are not walked yet: refuse rather than remove a part of one.
  zav::errno_ = zav::ENOSYS_;
  zav::eprintf("cannot remove directory \"%s\" (removing whole trees is not available yet)", path);
  return 1;
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
