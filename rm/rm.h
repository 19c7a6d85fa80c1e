// The settings and operations shared by the rm command and its removal code.
#pragma once

namespace zav {
struct stat;
struct stat64_;
}

namespace rm {

extern bool recursive;
extern bool force;
extern bool interactive;
extern bool verbose;
extern bool delayed;
extern bool recycle;
extern bool stdin_is_tty;
extern bool entered;

int confirm(const char* path, const char* prompt_format);
int report_failure(const char* message_format, const char* path);
int usage();

int rm_entry(const char* path, const struct zav::stat* status);
int rm_directory(const char* path);
int rm_walk_callback(const char* path, struct zav::stat64_* status, int event, int depth);

}  // namespace rm
