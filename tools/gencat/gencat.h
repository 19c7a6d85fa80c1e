// Message catalogs in the "<gencat>" format that the runtime reads, compiled from
// message source files in the X/Open syntax ($set, $delset, $quote, $ comments,
// "number text" lines with backslash escapes and continuation lines).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gencat {

struct message {
  std::int32_t set;
  std::int32_t number;
  std::string text;
};

// Most sets the reader can tell apart, and most bytes of a text it returns.
constexpr int max_sets = 255;
constexpr std::size_t max_text = 2049;

// The bytes of a catalog holding `messages` (any order; sorted by set, then number).
std::vector<unsigned char> build(std::vector<message> messages, std::uint32_t trailer_word = 0);

// The messages of catalog bytes; false when they are not a well-formed catalog.
bool parse_catalog(const std::vector<unsigned char>& bytes, std::vector<message>* out);

enum class encoding { bytes, code_page_850 };

// A catalog being put together from existing messages and source files: a later
// text for a set and number replaces the earlier one.
class catalog {
 public:
  explicit catalog(encoding texts = encoding::bytes) : encoding_(texts) {}

  void add(const std::vector<message>& messages);

  // Adds the messages of one source file. Each malformed line appends
  // "file:line: reason" to `problems`; false when there was any.
  bool read_source(std::string_view source, const std::string& file_name, std::vector<std::string>* problems);

  std::vector<message> messages() const;
  std::size_t set_count() const { return sets_.size(); }

 private:
  encoding encoding_;
  std::map<std::int32_t, std::map<std::int32_t, std::string>> sets_;
};

}  // namespace gencat
