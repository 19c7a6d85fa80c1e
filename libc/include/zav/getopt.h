// The option parser.
#pragma once

namespace zav {

extern char* optarg;
extern int optind;
extern int opterr;
extern int optopt;
extern int optplus;

// The name that prefixes the runtime's diagnostics ("rm", "rmdir"); null until
// the utility sets it.
extern const char* utility_name;

struct option_scan_state {
  char* optarg;
  int optind;
  int opterr;
  int optopt;
  int position;
  int optplus;
};

int getopt(int argc, char* const argv[], const char* optstring);
int parse_next_option(int argc, char* const argv[], const char* optstring, option_scan_state* state);

}  // namespace zav
