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

// A position saved for another element may lie past the end of this one.
bool lies_inside(const char* arg, int position) {
  const auto at = static_cast<std::size_t>(position);
  return arg != nullptr && strnlen(arg, at + 1) > at;
}

// One step of the scan, over the fields it reads and writes wherever they live:
// getopt's public variables, or a caller's option_scan_state.
class OptionScan {
 public:
  OptionScan(char*& optarg, int& optind, int& opterr, int& optopt, int& position, int& optplus)
      : optarg_(optarg), optind_(optind), opterr_(opterr), optopt_(optopt), position_(position),
        optplus_(optplus) {}

  int next(int argc, char* const argv[], const char* optstring, const OptionModes& modes);

 private:
  void report(char* const argv[], const OptionModes& modes, int number, const char* default_text,
              const char* descriptor, bool with_option) const;

  char*& optarg_;
  int& optind_;
  int& opterr_;
  int& optopt_;
  int& position_;
  int& optplus_;
};

void OptionScan::report(char* const argv[], const OptionModes& modes, int number, const char* default_text,
                        const char* descriptor, bool with_option) const {
  if (opterr_ == 0 || modes.quiet) return;
  const char* name = utility_name != nullptr ? utility_name : (argv[0] != nullptr ? argv[0] : "");
  const char* format = text_message(number, default_text, descriptor);
  int sign = optplus_ ? '+' : '-';
  if (with_option)
    std::snprintf(message_buffer, sizeof message_buffer, format, name, sign, optopt_);
  else
    std::snprintf(message_buffer, sizeof message_buffer, format, name);
  fputs(message_buffer, stderr_);
}

int OptionScan::next(int argc, char* const argv[], const char* optstring, const OptionModes& modes) {
  optplus_ = 0;
  if (optind_ == 0) {
    optind_ = 1;
    position_ = 0;
  }
  int missing_result = modes.quiet ? ':' : '?';
  if (optind_ >= argc) return -1;

  char* arg = argv[optind_];
  if (position_ > 0 && !lies_inside(arg, position_)) position_ = 0;
  if (position_ == 0) {
    if (arg == nullptr) return -1;
    if (arg[0] == '+') {
      if (modes.plus_option) {
        optopt_ = '+';
        ++optind_;
        if (arg[1] != '\0') {
          optarg_ = arg + 1;
          return '+';
        }
        if (optind_ < argc) {
          optarg_ = argv[optind_++];
          return '+';
        }
        optarg_ = nullptr;
        report(argv, modes, 5078, "%s: Option + argument missing\n", "E _ ", false);
        return missing_result;
      }
      if (!modes.plus_cluster || arg[1] == '\0') return -1;
      optplus_ = 1;
      position_ = 1;
    } else if (arg[0] == '-') {
      if (arg[1] == '\0') {
        if (std::strchr(optstring, '-') == nullptr) return -1;
        ++optind_;
        return '-';
      }
      if (arg[1] == '-' && arg[2] == '\0') {
        ++optind_;
        return -1;
      }
      position_ = 1;
    } else {
      return -1;
    }
  }

  int c = static_cast<unsigned char>(arg[position_++]);
  optopt_ = c;
  const char* found = c == ':' ? nullptr : std::strchr(optstring, c);
  if (found == nullptr || c == '\0') {
    report(argv, modes, 6402, "%s: Unknown option %c%c\n", "E utility_name option", true);
    if (arg[position_] == '\0') {
      position_ = 0;
      ++optind_;
    }
    return '?';
  }

  optarg_ = nullptr;
  if (found[1] == ':' || found[1] == ';') {
    char* rest = arg + position_;
    ++optind_;
    position_ = 0;
    optarg_ = rest;
    if (*rest == '\0') {
      if (found[1] == ';') {
        optarg_ = nullptr;
      } else if (optind_ < argc) {
        optarg_ = argv[optind_++];
      } else {
        optarg_ = nullptr;
        report(argv, modes, 6403, "%s: Option %c%c argument missing\n", "E _ option", true);
        return missing_result;
      }
    }
  }
  if (position_ > 0 && arg[position_] == '\0') {
    position_ = 0;
    ++optind_;
  }
  return c;
}

// getopt's own scan: the public variables, and what lives between calls.
struct GetoptScan {
  int position = 0;
  // The element the saved position lies in: a caller that moves optind starts
  // the scan afresh at the beginning of the element it chose.
  int scanned_element = 1;
  // The option string whose modes were read, read again when it changes or a
  // scan starts over.
  const char* optstring = nullptr;
  OptionModes modes;
};

GetoptScan getopt_scan;

}  // namespace

int parse_next_option(int argc, char* const argv[], const char* optstring, option_scan_state* state) {
  OptionScan scan(state->optarg, state->optind, state->opterr, state->optopt, state->position, state->optplus);
  return scan.next(argc, argv, optstring, read_modes(optstring));
}

int getopt(int argc, char* const argv[], const char* optstring) {
  GetoptScan& own = getopt_scan;
  if (optind != own.scanned_element) own.position = 0;
  if (optstring != own.optstring || optind == 0) {
    own.optstring = optstring;
    own.modes = read_modes(optstring);
  }
  OptionScan scan(optarg, optind, opterr, optopt, own.position, optplus);
  const int result = scan.next(argc, argv, optstring, own.modes);
  own.scanned_element = optind;
  return result;
}

}  // namespace zav
