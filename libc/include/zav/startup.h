// Process start-up: from the process entry to the utility's main.
#pragma once

namespace zav {

// The utility's main function, defined by each program and called by the
// start-up code as exit(main(argc, argv, environ_)).
int main(int argc, char** argv, char** envp);

extern char** environ_;
extern int slash_drive_form;

// The process entry: sets the start-up flags and runs _main; never returns.
[[noreturn]] void _cmain();
[[noreturn]] void _main();

// Start-up's splitting of the command line into words, in place: `take` is
// given each word, terminated inside `line`, and whether it holds an unquoted
// *, ? or [.
void split_command_line(char* line, void (*take)(char* word, bool wildcard, void* context), void* context);

}  // namespace zav
