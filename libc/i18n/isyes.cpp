// Yes/no answers judged by the locale's answer expressions.
#include <zav/isyes.h>
#include <zav/locale.h>
#include <zav/regex.h>

namespace zav {

namespace {

// The answer expressions of the POSIX locale, the only locale data the runtime carries.
constexpr const char* yes_expression = "^[yY]";
constexpr const char* no_expression = "^[nN]";

// A slot that failed to compile holds nothing and matches nothing.
regex_t yes_slot;
regex_t no_slot;

bool matches(const regex_t& slot, const char* answer) { return regexec(&slot, answer, 0, nullptr, 0) == 0; }

}  // namespace

int isyes(const char* answer) {
  std::uint8_t& flags = locale_categories[LC_MESSAGES_].flags;
  if ((flags & YESNO_COMPILED_FLAG) == 0) {
    regfree(&yes_slot);
    regfree(&no_slot);
    flags |= YESNO_COMPILED_FLAG;
    regcomp(&yes_slot, yes_expression, REG_EXTENDED_);
    regcomp(&no_slot, no_expression, REG_EXTENDED_);
  }
  if (matches(yes_slot, answer)) return 1;
  return matches(no_slot, answer) ? 0 : -1;
}

}  // namespace zav
