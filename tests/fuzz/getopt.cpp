// getopt over random option strings and argument vectors, with optind moved
// between calls; parse_next_option with a scan state of any position. Every
// element is a block of its own size, so a read past one is a finding.
#include <cstring>
#include <memory>

#include <zav/getopt.h>

#include "fuzz_support.h"

namespace {

struct Arguments {
  std::vector<std::unique_ptr<char[]>> owned;
  std::vector<char*> argv;
  std::vector<std::size_t> lengths;

  int argc() const { return static_cast<int>(argv.size()) - 1; }
  // Whether p is an element or points into one (its end included).
  bool points_into(const char* p) const {
    for (std::size_t i = 0; i + 1 < argv.size(); ++i)
      if (argv[i] != nullptr && p >= argv[i] && p <= argv[i] + lengths[i]) return true;
    return false;
  }
};

Arguments arguments(FuzzedDataProvider& input) {
  Arguments a;
  const int count = input.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i <= count; ++i) {
    // Now and then a null element inside the vector, as a caller may pass.
    if (i > 0 && input.ConsumeIntegralInRange(0, 15) == 0) {
      a.argv.push_back(nullptr);
      a.lengths.push_back(0);
      continue;
    }
    const std::string text = input.ConsumeRandomLengthString(12);
    a.owned.emplace_back(new char[text.size() + 1]);
    std::memcpy(a.owned.back().get(), text.c_str(), text.size() + 1);
    a.argv.push_back(a.owned.back().get());
    a.lengths.push_back(text.size());
  }
  a.argv.push_back(nullptr);
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::start_runtime();
  FuzzedDataProvider input(data, size);
  const std::string optstring = input.ConsumeRandomLengthString(16);
  Arguments a = arguments(input);
  const int argc = a.argc();

  zav::optarg = nullptr;
  zav::opterr = input.ConsumeBool() ? 1 : 0;
  zav::optind = input.ConsumeBool() ? 0 : 1;
  zav::utility_name = input.ConsumeBool() ? nullptr : "fuzz";
  for (int call = 0; call < 64 && input.remaining_bytes() > 0; ++call) {
    if (input.ConsumeIntegralInRange(0, 3) == 0) zav::optind = input.ConsumeIntegralInRange(0, argc + 1);
    const int result = zav::getopt(argc, a.argv.data(), optstring.c_str());
    FUZZ_CHECK(result >= -1 && result <= 255);
    FUZZ_CHECK(zav::optopt >= 0 && zav::optopt <= 255);
    if (result != -1 && zav::optarg != nullptr) FUZZ_CHECK(a.points_into(zav::optarg));
  }

  zav::option_scan_state state{nullptr, input.ConsumeIntegralInRange(0, argc + 1), 0, 0,
                               input.ConsumeIntegralInRange(0, 40), 0};
  for (int call = 0; call < 16; ++call) {
    const int result = zav::parse_next_option(argc, a.argv.data(), optstring.c_str(), &state);
    FUZZ_CHECK(result >= -1 && result <= 255);
    if (result == -1) break;
    if (state.optarg != nullptr) FUZZ_CHECK(a.points_into(state.optarg));
  }
  zav::optind = 1;
  zav::opterr = 1;
  return 0;
}
