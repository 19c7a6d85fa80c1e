// Start-up's splitting of the command line, under code pages 65001 and 932:
// first the input bytes as a command line, then the input as an argument vector
// (one argument a line) that the host layer writes as a command line, which must
// split back into the same vector, with no word taken for a pattern.
#include <cstring>

#include <winapi_settings.h>

#include "command_line.h"
#include "fuzz_support.h"

namespace {

struct Words {
  const char* line;
  std::size_t length;
  std::vector<std::string> words;
  bool wildcard = false;
};

void take(char* word, bool wildcard, void* context) {
  auto* words = static_cast<Words*>(context);
  FUZZ_CHECK(word >= words->line && word + std::strlen(word) <= words->line + words->length);
  words->words.emplace_back(word);
  words->wildcard = words->wildcard || wildcard;
}

Words split(const std::string& line) {
  std::unique_ptr<char[]> copy(new char[line.size() + 1]);
  std::memcpy(copy.get(), line.c_str(), line.size() + 1);
  Words words{copy.get(), std::strlen(copy.get()), {}};
  zav::split_command_line(copy.get(), take, &words);
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::start_runtime();
  if (size == 0) return 0;
  WinapiSetCodePage((data[0] & 1) != 0 ? 932 : 65001);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  split(text.substr(0, text.find('\0')));

  std::vector<std::string> arguments;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    arguments.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  bool carried = true;
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    // No argument of a real vector holds a NUL.
    if (argument.find('\0') != std::string::npos) return 0;
    carried = carried && winapi::carried_byte_for_byte(argument);
    argv.push_back(argument.c_str());
  }
  if (carried) {
    const std::string line = winapi::command_line(static_cast<int>(argv.size()), argv.data());
    const Words back = split(line);
    FUZZ_CHECK(back.words == arguments);
    FUZZ_CHECK(!back.wildcard);
  }
  return 0;
}
