// The input bytes as a message catalog: catopen and catgets on it, then every
// numbered text of the system through text_message, each used as the format it
// is in the programs, with the arguments they give it.
#include <cstring>
#include <fstream>

#include <zav/locale.h>
#include <zav/nl_types.h>
#include <zav/text_message.h>

#include "fuzz_support.h"

namespace {

// What a numbered text is formatted with: a name, the name with a sign and an
// option letter, a number, or nothing.
enum class Arguments { none, name, name_sign_letter, number };

struct Numbered {
  int number;
  const char* default_text;
  Arguments arguments;
};

constexpr Numbered numbered_texts[] = {
    {0, "Usage: rm [-firRv] [-d|-s] file ...\n", Arguments::none},
    {404, "directory \"%s\"", Arguments::name},
    {641, "unknown error", Arguments::none},
    {699, "directory not empty", Arguments::none},
    {1280, "rm: not allowed to remove %s\n", Arguments::name},
    {1282, "rm: use \"-r\" to remove directory \"%s\"\n", Arguments::name},
    {1283, "rm: fatal error during \"-r\" option", Arguments::none},
    {1286, "cannot stat entry \"%s\"", Arguments::name},
    {1287, "cannot open directory \"%s\"", Arguments::name},
    {1289, "Usage: rmdir [-p] directory ...\n", Arguments::none},
    {3193, "%s is read only. Remove anyway ? ", Arguments::name},
    {3194, "remove %s ? ", Arguments::name},
    {3195, "cannot unlink entry \"%s\"", Arguments::name},
    {3196, "cannot remove directory \"%s\"", Arguments::name},
    {3197, "directory %s is read only. Remove anyway ? ", Arguments::name},
    {3581, "!memory allocation failure", Arguments::none},
    {3642, "!multibyte string", Arguments::none},
    {5078, "%s: Option + argument missing\n", Arguments::name},
    {5271, "enter directory %s ? ", Arguments::name},
    {5785, "Unknown error #%x", Arguments::number},
    {6402, "%s: Unknown option %c%c\n", Arguments::name_sign_letter},
    {6403, "%s: Option %c%c argument missing\n", Arguments::name_sign_letter},
};

#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"

void format(const Numbered& n, const char* text) {
  char buffer[4096];
  switch (n.arguments) {
    case Arguments::none: std::snprintf(buffer, sizeof buffer, text); break;
    case Arguments::name: std::snprintf(buffer, sizeof buffer, text, "some/name"); break;
    case Arguments::name_sign_letter: std::snprintf(buffer, sizeof buffer, text, "rm", '-', 'x'); break;
    case Arguments::number: std::snprintf(buffer, sizeof buffer, text, 0x1234u); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::start_runtime();
  static const std::filesystem::path directory = fuzz::scratch_directory("catalog");
  static const std::string file = (directory / "zav.cat").string();
  static fuzz::Environment environment;
  environment.set({"NLSPATH=" + (directory / "%N.cat").string()});
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));

  zav::nl_catd catd = zav::catopen(file.c_str(), 0);
  if (catd != zav::CATD_FAILED_) {
    FUZZ_CHECK(catd->fd >= 10);
    // Sets and numbers from the trailer's first word, and those of the system.
    std::int32_t asked = 0;
    if (size >= 8) std::memcpy(&asked, data + size - 8, sizeof asked);
    for (int set : {1, 2, asked & 0xff}) {
      for (const Numbered& n : numbered_texts) FUZZ_CHECK(std::strlen(zav::catgets(catd, set, n.number, "d")) <= 2049);
      FUZZ_CHECK(std::strlen(zav::catgets(catd, set, asked, "d")) <= 2049);
    }
    FUZZ_CHECK(zav::catclose(catd) == 0);
  }

  zav::close_text_catalog();
  zav::setlocale(zav::LC_ALL_, "POSIX");
  for (const Numbered& n : numbered_texts) format(n, zav::text_message(n.number, n.default_text, "E"));
  zav::close_text_catalog();
  return 0;
}
