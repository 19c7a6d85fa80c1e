// fnmatch with every flag, with and without DUALCASE, under code pages 65001
// and 932. For short patterns without back-references the two matchers must
// agree: the one over sets of positions and the one that tries each choice.
#include <winapi_settings.h>

#include <zav/fnmatch.h>

#include "fuzz_support.h"
#include "pattern_syntax.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::start_runtime();
  if (size < 2) return 0;
  static fuzz::Environment environment;
  const int flags = data[0] & (zav::FNM_PATHNAME | zav::FNM_NOESCAPE | zav::FNM_PERIOD | zav::FNM_CASEFOLD |
                               zav::FNM_IGNORE_DUALCASE);
  environment.set((data[1] & 1) != 0 ? std::vector<std::string>{"DUALCASE="} : std::vector<std::string>{});
  WinapiSetCodePage((data[1] & 2) != 0 ? 932 : 65001);
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t split = text.find('\0');
  const std::string pattern = text.substr(0, split);
  const std::string name = split == std::string::npos ? "" : text.substr(split + 1).c_str();

  const int result = zav::fnmatch(pattern.c_str(), name.c_str(), flags);
  FUZZ_CHECK(result == 0 || result == zav::FNM_NOMATCH);

  if (pattern.size() <= 32 && name.size() <= 24) {
    using namespace zav::wildcard;
    Workspace positions_space, choices_space;
    const Pattern for_positions(pattern.c_str(), flags, positions_space);
    const Pattern for_choices(pattern.c_str(), flags, choices_space);
    if (for_positions.usable() && !for_positions.has_back_references()) {
      const Verdict by_positions = match_positions(for_positions, name.c_str(), positions_space);
      // Fewer steps than a match is given: trying choice after choice is slow.
      const Verdict by_choices = match_with_back_references(for_choices, name.c_str(), choices_space, 20000);
      FUZZ_CHECK(by_positions != Verdict::gave_up);
      if (by_choices != Verdict::gave_up) FUZZ_CHECK(by_positions == by_choices);
      FUZZ_CHECK((result == 0) == (by_positions == Verdict::match));
    }
  }
  return 0;
}
