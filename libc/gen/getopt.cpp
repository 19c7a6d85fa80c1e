#include <zav/getopt.h>

#include <cstdio>
#include <cstring>

#include <zav/stdio.h>
#include <zav/text_message.h>

namespace zav {

char* optarg = nullptr;
int optind = 1;
int opterr = 1;
int optopt = 0;
int optplus = 0;
const char* utility_name = nullptr;

namespace {

struct OptionModes {
  bool quiet = false;
  bool plus_cluster = false;
  bool plus_option = false;
};

OptionModes read_modes(const char* optstring) {
  OptionModes modes;
  const char* p = optstring;
  if (*p == ':') {
    modes.quiet = true;
    ++p;
  }
  if (p[0] == '+' && p[1] != '+')
    modes.plus_cluster = true;
  else if (std::strchr(optstring, '+') != nullptr)
    modes.plus_option = true;
  return modes;
}

// Composed in a fixed buffer; a name too long for it is cut, never overrun.
char message_buffer[1024];

void report(const option_scan_state& state, const OptionModes& modes, char* const argv[],
            int number, const char* default_text, const char* descriptor, bool with_option) {
  if (state.opterr == 0 || modes.quiet) return;
  const char* name = utility_name != nullptr ? utility_name : (argv[0] != nullptr ? argv[0] : "");
  const char* format = text_message(number, default_text, descriptor);
  int sign = state.optplus ? '+' : '-';
  if (with_option)
    std::snprintf(message_buffer, sizeof message_buffer, format, name, sign, state.optopt);
  else
    std::snprintf(message_buffer, sizeof message_buffer, format, name);
  fputs(message_buffer, stderr_);
}

// A position saved for another element may lie past the end of this one.
bool lies_inside(const char* arg, int position) {
  const auto at = static_cast<std::size_t>(position);
  return arg != nullptr && strnlen(arg, at + 1) > at;
}

}  // namespace

int parse_next_option(int argc, char* const argv[], const char* optstring, option_scan_state* state) {
  state->optplus = 0;
  if (state->optind == 0) {
    state->optind = 1;
    state->position = 0;
  }
  OptionModes modes = read_modes(optstring);
  int missing_result = modes.quiet ? ':' : '?';
  if (state->optind >= argc) return -1;

  char* arg = argv[state->optind];
  if (state->position > 0 && !lies_inside(arg, state->position)) state->position = 0;
  if (state->position == 0) {
    if (arg == nullptr) return -1;
    if (arg[0] == '+') {
      if (modes.plus_option) {
        state->optopt = '+';
        ++state->optind;
        if (arg[1] != '\0') {
          state->optarg = arg + 1;
          return '+';
        }
        if (state->optind < argc) {
          state->optarg = argv[state->optind++];
          return '+';
        }
        state->optarg = nullptr;
        report(*state, modes, argv, 5078, "%s: Option + argument missing\n", "E _ ", false);
        return missing_result;
      }
      if (!modes.plus_cluster || arg[1] == '\0') return -1;
      state->optplus = 1;
      state->position = 1;
    } else if (arg[0] == '-') {
      if (arg[1] == '\0') {
        if (std::strchr(optstring, '-') == nullptr) return -1;
        ++state->optind;
        return '-';
      }
      if (arg[1] == '-' && arg[2] == '\0') {
        ++state->optind;
        return -1;
      }
      state->position = 1;
    } else {
      return -1;
    }
  }

  int c = static_cast<unsigned char>(arg[state->position++]);
  state->optopt = c;
  const char* found = c == ':' ? nullptr : std::strchr(optstring, c);
  if (found == nullptr || c == '\0') {
    report(*state, modes, argv, 6402, "%s: Unknown option %c%c\n", "E utility_name option", true);
    if (arg[state->position] == '\0') {
      state->position = 0;
      ++state->optind;
    }
    return '?';
  }

  state->optarg = nullptr;
  if (found[1] == ':' || found[1] == ';') {
    char* rest = arg + state->position;
    ++state->optind;
    state->position = 0;
    state->optarg = rest;
    if (*rest == '\0') {
      if (found[1] == ';') {
        state->optarg = nullptr;
      } else if (state->optind < argc) {
        state->optarg = argv[state->optind++];
      } else {
        state->optarg = nullptr;
        report(*state, modes, argv, 6403, "%s: Option %c%c argument missing\n", "E _ option", true);
        return missing_result;
      }
    }
  }
  if (state->position > 0 && arg[state->position] == '\0') {
    state->position = 0;
    ++state->optind;
  }
  return c;
}

int getopt(int argc, char* const argv[], const char* optstring) {
  static option_scan_state state;
  // The element the saved position lies in: a caller that moves optind starts
  // the scan afresh at the beginning of the element it chose.
  static int scanned_element = 1;
  if (optind != scanned_element) state.position = 0;
  state.optarg = optarg;
  state.optind = optind;
  state.opterr = opterr;
  state.optopt = optopt;
  state.optplus = optplus;
  int result = parse_next_option(argc, argv, optstring, &state);
  optarg = state.optarg;
  optind = state.optind;
  opterr = state.opterr;
  optopt = state.optopt;
  optplus = state.optplus;
  scanned_element = optind;
  return result;
}

}  // namespace zav
