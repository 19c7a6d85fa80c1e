// Writes message catalogs in the "<gencat>" format, for tests and translators.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace catalog_writer {

struct message {
  std::int32_t set;
  std::int32_t number;
  std::string text;
};

// The bytes of a catalog holding `messages` (any order; sorted by set, then number).
std::vector<unsigned char> build(std::vector<message> messages, std::uint32_t trailer_word = 0);

// build() written to `path`; false when the file cannot be written.
bool write(const std::string& path, const std::vector<message>& messages);

// One line "set number text" with C escapes \n \t \\ in the text; false for a malformed line.
bool parse_line(const std::string& line, message* out);

}  // namespace catalog_writer
