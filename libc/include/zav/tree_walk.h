// A depth-first walk over a file or a directory tree that reports each visit to a
// callback and lets the callback's answer steer it. One walk at a time: the
// walk's state is process-wide.
#pragma once

#include <cstddef>

#include <zav/stat.h>

namespace zav {

// Events: the callback's third argument.
inline constexpr int WALK_DIR_OPENED = 0;      // its entries follow
inline constexpr int WALK_DIR_UNREADABLE = 1;  // opening or reading it failed
inline constexpr int WALK_NONDIR = 2;
inline constexpr int WALK_NO_STATUS = 3;       // the status record is unspecified
inline constexpr int WALK_DIR_POST = 4;        // after everything below it
inline constexpr int WALK_DIR_PRE = 5;         // before it is opened

// Answers besides 0 (go on) and 1 (a failure; the walk goes on and returns 1).
inline constexpr int WALK_ABORT = -1;
inline constexpr int WALK_PRUNE = -2;         // at WALK_DIR_PRE or WALK_DIR_OPENED
inline constexpr int WALK_PRUNE_FAILED = -4;  // as WALK_PRUNE, and the directory counts as failed

// (path, status, event, depth): the path and the record are valid during the call.
using walk_function = int (*)(const char* path, struct stat64_* status, int event, int depth);

// Non-zero: statuses are taken without following symbolic links, and links are
// reported as non-directories. Set by the caller; the walk never changes it.
extern int walk_physical;

// The walk's state, readable by a callback during the walk.
extern char* walk_path;
extern walk_function walk_callback;
extern struct stat64_ walk_status;
extern int walk_entry_length;
extern int walk_depth;

// -1 when the walk ran out of memory or was aborted, 1 when a failure was
// counted, else 0; when the start gives a single event, the answer to it.
int tree_walk(const char* path, walk_function callback);

}  // namespace zav
