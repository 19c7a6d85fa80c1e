// Yes/no answers judged by the locale's answer expressions.
#include <zav/isyes.h>
#include <zav/locale.h>

#include <optional>
#include <regex>

namespace zav {

namespace {

// The answer expressions of the POSIX locale, the only locale data the runtime carries.
constexpr const char* yes_expression = "^[yY]";
constexpr const char* no_expression = "^[nN]";

// A slot that failed to compile stays empty and matches nothing.
std::optional<std::regex> yes_slot;
std::optional<std::regex> no_slot;

void compile(std::optional<std::regex>& slot, const char* expression) {
  try {
    slot.emplace(expression, std::regex::extended);
  } catch (const std::regex_error&) {
    slot.reset();
  }
}

bool matches(const std::optional<std::regex>& slot, const char* answer) {
  return slot.has_value() && std::regex_search(answer, *slot);
}

}  // namespace

int isyes(const char* answer) {
  std::uint8_t& flags = locale_categories[LC_MESSAGES_].flags;
  if ((flags & YESNO_COMPILED_FLAG) == 0) {
    yes_slot.reset();
    no_slot.reset();
    flags |= YESNO_COMPILED_FLAG;
    compile(yes_slot, yes_expression);
    compile(no_slot, no_expression);
  }
  if (matches(yes_slot, answer)) return 1;
  return matches(no_slot, answer) ? 0 : -1;
}

}  // namespace zav
