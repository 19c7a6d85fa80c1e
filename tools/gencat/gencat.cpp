#include "gencat.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace gencat {

namespace {

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

std::uint32_t get32(const std::vector<unsigned char>& in, std::size_t at) {
  return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
         static_cast<std::uint32_t>(in[at + 2]) << 16 | static_cast<std::uint32_t>(in[at + 3]) << 24;
}

constexpr unsigned char header[9] = {'<', 'g', 'e', 'n', 'c', 'a', 't', '>', 0};

// Code points of the bytes 0x80 to 0xFF of code page 850, the OEM code page of
// Western European Windows, whose console shows the catalog's bytes as they are.
constexpr char32_t code_page_850_high[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The code point that starts at `p` in UTF-8, moving `p` past it; -1 for a bad sequence.
long next_code_point(std::string_view text, std::size_t* p) {
  unsigned char c = static_cast<unsigned char>(text[(*p)++]);
  if (c < 0x80) return c;
  int more = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (more < 0 || *p + static_cast<std::size_t>(more) > text.size()) return -1;
  long value = c & (0x3F >> more);
  for (int i = 0; i < more; ++i) {
    unsigned char d = static_cast<unsigned char>(text[(*p)++]);
    if ((d & 0xC0) != 0x80) return -1;
    value = value << 6 | (d & 0x3F);
  }
  return value;
}

// `text` from UTF-8 into code page 850; the reason it cannot be, or empty.
std::string to_code_page_850(std::string* text) {
  std::string out;
  for (std::size_t p = 0; p < text->size();) {
    long c = next_code_point(*text, &p);
    if (c < 0) return "the text is not valid UTF-8";
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    const char32_t* found = std::find(std::begin(code_page_850_high), std::end(code_page_850_high), c);
    if (found == std::end(code_page_850_high)) {
      char reason[64];
      std::snprintf(reason, sizeof reason, "U+%04lX has no byte in code page 850", c);
      return reason;
    }
    out += static_cast<char>(0x80 + (found - code_page_850_high));
  }
  *text = out;
  return {};
}

// Reads one source file line by line; every malformed line is reported and skipped.
class source_reader {
 public:
  source_reader(std::string_view source, const std::string& file_name, encoding texts,
                std::map<std::int32_t, std::map<std::int32_t, std::string>>* sets, std::vector<std::string>* problems)
      : source_(source), file_name_(file_name), encoding_(texts), sets_(sets), problems_(problems) {}

  bool run() {
    std::size_t problems_before = problems_->size();
    while (next_line()) {
      std::string_view line = line_;
      if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
      if (line[0] == '$')
        directive(line.substr(1));
      else if (line[0] >= '0' && line[0] <= '9')
        message_line(line);
      else
        problem("expected a message number, a $ directive or a $ comment");
    }
    return problems_->size() == problems_before;
  }

 private:
  bool next_line() {
    if (at_ >= source_.size()) return false;
    std::size_t end = source_.find('\n', at_);
    if (end == std::string_view::npos) end = source_.size();
    line_ = source_.substr(at_, end - at_);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    at_ = end + 1;
    ++line_number_;
    return true;
  }

  void problem(const std::string& reason) const {
    problems_->push_back(file_name_ + ":" + std::to_string(line_number_) + ": " + reason);
  }

  // A decimal number at the start of `text`, moving past it; false when there is none or it is too large.
  static bool read_number(std::string_view* text, std::int32_t* value) {
    std::size_t n = 0;
    long long v = 0;
    while (n < text->size() && (*text)[n] >= '0' && (*text)[n] <= '9') {
      v = v * 10 + ((*text)[n++] - '0');
      if (v > INT32_MAX) return false;
    }
    if (n == 0) return false;
    text->remove_prefix(n);
    *value = static_cast<std::int32_t>(v);
    return true;
  }

  // The set number of $set and $delset: a positive number, then nothing or a blank and a comment.
  bool set_number(std::string_view rest, const char* name, std::int32_t* set) const {
    std::size_t start = rest.find_first_not_of(" \t");
    rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
    if (!read_number(&rest, set) || *set == 0 || (!rest.empty() && !is_blank(rest[0]))) {
      problem(std::string("$") + name + " needs a set number from 1 to 2147483647");
      return false;
    }
    return true;
  }

  void directive(std::string_view line) {
    std::size_t word_end = std::min(line.find_first_of(" \t"), line.size());
    std::string_view word = line.substr(0, word_end);
    std::string_view rest = line.substr(word_end);
    std::int32_t set;
    if (word.empty()) return;  // a comment
    if (word == "set") {
      if (set_number(rest, "set", &set)) set_ = set;
    } else if (word == "delset") {
      if (set_number(rest, "delset", &set)) sets_->erase(set);
    } else if (word == "quote") {
      if (rest.size() > 2 && rest.find_first_not_of(" \t", 2) != std::string_view::npos)
        problem("$quote takes one character");
      else
        quote_ = rest.size() >= 2 ? rest[1] : '\0';
    } else {
      problem("unknown directive $" + std::string(word));
    }
  }

  void message_line(std::string_view line) {
    std::int32_t number;
    int first_line = line_number_;
    if (!read_number(&line, &number)) return problem("message number larger than 2147483647");
    if (line.empty()) {  // a number alone deletes that message
      auto set = sets_->find(set_);
      if (set != sets_->end()) set->second.erase(number);
      return;
    }
    if (!is_blank(line[0])) return problem("a blank must separate the message number from its text");
    std::string text;
    if (!message_text(line.substr(1), &text)) return;
    if (text.size() > max_text)
      return problem("the text is longer than the " + std::to_string(max_text) + " bytes the reader returns");
    if (encoding_ == encoding::code_page_850) {
      std::string reason = to_code_page_850(&text);
      if (!reason.empty()) return problem(reason);
    }
    auto [seen, fresh] = seen_.emplace(std::make_pair(set_, number), first_line);
    if (!fresh) {
      return problem("message " + std::to_string(number) + " of set " + std::to_string(set_) +
                     " was already given on line " + std::to_string(seen->second));
    }
    (*sets_)[set_][number] = std::move(text);
  }

  // The text after the separator, escapes resolved and continuation lines joined.
  bool message_text(std::string_view text, std::string* out) {
    bool quoted = quote_ != '\0' && !text.empty() && text[0] == quote_;
    if (quoted) text.remove_prefix(1);
    for (std::size_t i = 0;; ++i) {
      if (i == text.size()) {
        if (!quoted) return true;
        problem(std::string("no closing ") + quote_ + " before the end of the line");
        return false;
      }
      char c = text[i];
      if (quoted && c == quote_) {
        if (text.find_first_not_of(" \t", i + 1) == std::string_view::npos) return true;
        problem(std::string("text after the closing ") + quote_);
        return false;
      }
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (++i == text.size()) {  // a backslash at the end continues the text on the next line
        if (!next_line()) {
          problem("the file ends where a continuation line should follow");
          return false;
        }
        text = line_;
        i = static_cast<std::size_t>(-1);
        continue;
      }
      if (!escape(text, &i, out)) return false;
    }
  }

  // The escape whose letter is at `*i`, appended to `out`; `*i` ends on its last character.
  bool escape(std::string_view text, std::size_t* i, std::string* out) const {
    static constexpr std::string_view letters = "ntvbrf\\\"", values = "\n\t\v\b\r\f\\\"";
    char c = text[*i];
    if (std::size_t k = letters.find(c); k != std::string_view::npos) {
      *out += values[k];
    } else if (c == quote_ && c != '\0') {
      *out += c;
    } else if (c >= '0' && c <= '7') {
      int value = 0;
      for (int digits = 0; digits < 3 && *i < text.size() && text[*i] >= '0' && text[*i] <= '7'; ++digits)
        value = value * 8 + (text[(*i)++] - '0');
      --*i;
      if (value == 0 || value > 0xFF) {
        problem(value == 0 ? "\\0 would end the text there" : "an octal escape above \\377");
        return false;
      }
      *out += static_cast<char>(value);
    } else {
      problem(std::string("unknown escape \\") + c);
      return false;
    }
    return true;
  }

  std::string_view source_;
  const std::string& file_name_;
  encoding encoding_;
  std::map<std::int32_t, std::map<std::int32_t, std::string>>* sets_;
  std::vector<std::string>* problems_;
  std::map<std::pair<std::int32_t, std::int32_t>, int> seen_;
  std::size_t at_ = 0;
  std::string_view line_;
  int line_number_ = 0;
  std::int32_t set_ = 1;
  char quote_ = '\0';
};

}  // namespace

std::vector<unsigned char> build(std::vector<message> messages, std::uint32_t trailer_word) {
  std::stable_sort(messages.begin(), messages.end(), [](const message& a, const message& b) {
    return a.set != b.set ? a.set < b.set : a.number < b.number;
  });
  std::vector<unsigned char> out(std::begin(header), std::end(header));
  std::vector<std::uint32_t> text_offsets;
  for (const auto& m : messages) {
    text_offsets.push_back(static_cast<std::uint32_t>(out.size()));
    out.insert(out.end(), m.text.begin(), m.text.end());
    out.push_back(0);
  }
  std::vector<std::pair<std::int32_t, std::uint32_t>> sets;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (sets.empty() || sets.back().first != messages[i].set)
      sets.emplace_back(messages[i].set, static_cast<std::uint32_t>(out.size()));
    put32(out, static_cast<std::uint32_t>(messages[i].number));
    put32(out, text_offsets[i]);
  }
  std::uint32_t set_index = static_cast<std::uint32_t>(out.size());
  for (const auto& [set, offset] : sets) {
    put32(out, static_cast<std::uint32_t>(set));
    put32(out, offset);
  }
  put32(out, trailer_word);
  put32(out, set_index);
  return out;
}

bool parse_catalog(const std::vector<unsigned char>& bytes, std::vector<message>* out) {
  if (bytes.size() < sizeof header + 8 || !std::equal(std::begin(header), std::end(header), bytes.begin()))
    return false;
  std::size_t trailer = bytes.size() - 8;
  std::size_t set_index = get32(bytes, trailer + 4);
  if (set_index < sizeof header || set_index > trailer || (trailer - set_index) % 8 != 0) return false;
  out->clear();
  for (std::size_t entry = set_index; entry < trailer; entry += 8) {
    std::size_t start = get32(bytes, entry + 4);
    std::size_t end = entry + 8 < trailer ? get32(bytes, entry + 12) : set_index;
    if (start > end || end > set_index || (end - start) % 8 != 0) return false;
    for (std::size_t m = start; m < end; m += 8) {
      std::size_t text = get32(bytes, m + 4);
      if (text >= trailer) return false;
      auto stop = std::find(bytes.begin() + static_cast<long>(text), bytes.end(), 0);
      out->push_back({static_cast<std::int32_t>(get32(bytes, entry)), static_cast<std::int32_t>(get32(bytes, m)),
                      std::string(bytes.begin() + static_cast<long>(text), stop)});
    }
  }
  return true;
}

void catalog::add(const std::vector<message>& messages) {
  for (const auto& m : messages) sets_[m.set][m.number] = m.text;
}

bool catalog::read_source(std::string_view source, const std::string& file_name, std::vector<std::string>* problems) {
  return source_reader(source, file_name, encoding_, &sets_, problems).run();
}

std::vector<message> catalog::messages() const {
  std::vector<message> out;
  for (const auto& [set, texts] : sets_)
    for (const auto& [number, text] : texts) out.push_back({set, number, text});
  return out;
}

}  // namespace gencat
