#include "catalog_writer.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace catalog_writer {

namespace {

void put32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

}  // namespace

std::vector<unsigned char> build(std::vector<message> messages, std::uint32_t trailer_word) {
  std::stable_sort(messages.begin(), messages.end(), [](const message& a, const message& b) {
    return a.set != b.set ? a.set < b.set : a.number < b.number;
  });
  std::vector<unsigned char> out = {'<', 'g', 'e', 'n', 'c', 'a', 't', '>', 0};
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

bool write(const std::string& path, const std::vector<message>& messages) {
  std::vector<unsigned char> bytes = build(messages);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

bool parse_line(const std::string& line, message* out) {
  const char* p = line.c_str();
  char* end;
  long set = std::strtol(p, &end, 10);
  if (end == p || *end != ' ') return false;
  p = end + 1;
  long number = std::strtol(p, &end, 10);
  if (end == p || (*end != ' ' && *end != '\0')) return false;
  std::string text;
  for (p = *end == ' ' ? end + 1 : end; *p != '\0'; ++p) {
    if (*p != '\\') {
      text += *p;
      continue;
    }
    switch (*++p) {
      case 'n': text += '\n'; break;
      case 't': text += '\t'; break;
      case '\\': text += '\\'; break;
      default: return false;
    }
  }
  *out = {static_cast<std::int32_t>(set), static_cast<std::int32_t>(number), text};
  return true;
}

}  // namespace catalog_writer
