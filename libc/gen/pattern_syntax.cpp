#include "pattern_syntax.h"

#include <cstring>

#include <zav/fnmatch.h>
#include <zav/path.h>
#include <zav/stdlib.h>

namespace zav::wildcard {

namespace {

// The matchers recurse once or twice per level of parentheses; deeper patterns
// would need more stack than a thread can count on.
constexpr int depth_limit = 200;
constexpr std::size_t workspace_limit = 64u << 20;

// The POSIX locale's classes, the only locale data the runtime carries.
bool is_upper(unsigned c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(unsigned c) { return c >= 'a' && c <= 'z'; }
bool is_alpha(unsigned c) { return is_upper(c) || is_lower(c); }
bool is_digit(unsigned c) { return c >= '0' && c <= '9'; }
bool is_graph(unsigned c) { return c > ' ' && c < 0x7F; }

unsigned to_upper(unsigned c) { return is_lower(c) ? c - 'a' + 'A' : c; }
unsigned to_lower(unsigned c) { return is_upper(c) ? c - 'A' + 'a' : c; }

struct CharacterClass {
  const char* name;
  bool (*test)(unsigned);
};

constexpr CharacterClass character_classes[] = {
    {"alnum", [](unsigned c) { return is_alpha(c) || is_digit(c); }},
    {"alpha", is_alpha},
    {"blank", [](unsigned c) { return c == ' ' || c == '\t'; }},
    {"cntrl", [](unsigned c) { return c < ' ' || c == 0x7F; }},
    {"digit", is_digit},
    {"graph", is_graph},
    {"lower", is_lower},
    {"print", [](unsigned c) { return c == ' ' || is_graph(c); }},
    {"punct", [](unsigned c) { return is_graph(c) && !is_alpha(c) && !is_digit(c); }},
    {"space", [](unsigned c) { return c == ' ' || (c >= '\t' && c <= '\r'); }},
    {"upper", is_upper},
    {"xdigit", [](unsigned c) { return is_digit(c) || (to_upper(c) >= 'A' && to_upper(c) <= 'F'); }},
};

const CharacterClass* find_class(const char* name, std::size_t length) {
  for (const CharacterClass& c : character_classes)
    if (std::strlen(c.name) == length && std::strncmp(c.name, name, length) == 0) return &c;
  return nullptr;
}

}  // namespace

Unit unit_at(const char* p) {
  const auto byte = static_cast<unsigned char>(*p);
  if (byte == 0) return {0, 0};
  if (is_lead_byte(*p) && p[1] != '\0') return {unsigned{byte} << 8 | static_cast<unsigned char>(p[1]), 2};
  return {byte, 1};
}

Workspace::~Workspace() {
  while (blocks_ != nullptr) {
    Block* next = blocks_->next;
    free(blocks_);
    blocks_ = next;
  }
}

void* Workspace::allocate(std::size_t bytes) {
  bytes = (bytes + 15) / 16 * 16;
  if (bytes <= sizeof own_ - own_used_) {
    void* block = own_ + own_used_;
    own_used_ += bytes;
    std::memset(block, 0, bytes);
    return block;
  }
  const std::size_t size = sizeof(Block) + bytes;
  if (bytes > workspace_limit || total_ + size > workspace_limit) return nullptr;
  auto* block = static_cast<Block*>(malloc(size));
  if (block == nullptr) {
    heap_failed_ = true;
    return nullptr;
  }
  total_ += size;
  block->next = blocks_;
  blocks_ = block;
  return block + 1;
}

Pattern::Pattern(const char* text, int flags, Workspace& workspace)
    : escapes((flags & FNM_NOESCAPE) == 0),
      pathname((flags & FNM_PATHNAME) != 0),
      period((flags & FNM_PERIOD) != 0),
      folds((flags & FNM_CASEFOLD) != 0 || ((flags & FNM_IGNORE_DUALCASE) == 0 && getenv("DUALCASE") == nullptr)),
      text_(text) {
  read_structure(workspace);
}

unsigned Pattern::fold(unsigned c) const { return folds ? to_upper(c) : c; }

// One pass that pairs each "(" with its ")" (an open one waits on a stack) and
// notes where each bracket expression ends, so that no later step rescans.
void Pattern::read_structure(Workspace& workspace) {
  const std::size_t length = std::strlen(text_);
  auto* ends = static_cast<std::int32_t*>(workspace.allocate(sizeof(std::int32_t) * (length + 1)));
  auto* open = static_cast<std::int32_t*>(workspace.allocate(sizeof(std::int32_t) * (length + 1)));
  if (ends == nullptr || open == nullptr) return;
  int open_count = 0;
  unsigned digits = 0;  // bit d: a backslash before the digit d
  for (const char* p = text_; *p != '\0';) {
    const auto at = static_cast<std::int32_t>(p - text_);
    if (escapes && *p == '\\' && p[1] != '\0') {
      if (p[1] >= '1' && p[1] <= '9') digits |= 1u << (p[1] - '0');
      p += 1 + unit_at(p + 1).length;
    } else if (*p == '[') {
      const char* end = bracket(p, 0).end;
      ends[at] = end != nullptr ? static_cast<std::int32_t>(end - text_) : -1;
      p = end != nullptr ? end : p + 1;
    } else if (*p == '(') {
      if (group_count_ < group_limit) group_opens_[group_count_++] = p;
      ends[at] = -1;
      open[open_count++] = at;
      ++p;
    } else if (*p == ')' && open_count > 0) {
      if (open_count > depth_) depth_ = open_count;
      ends[open[--open_count]] = at + 1;
      ++p;
    } else {
      p += unit_at(p).length;
    }
  }
  for (int d = 1; d <= group_count_; ++d)
    if ((digits & (1u << d)) != 0) back_references_ = true;
  if (depth_ <= depth_limit) ends_ = ends;
}

const char* Pattern::element_end(const char* p) const {
  if (escapes && *p == '\\') return p[1] == '\0' ? p + 1 : p + 1 + unit_at(p + 1).length;
  if (*p == '[') {
    const std::int32_t end = ends_[p - text_];
    return end >= 0 ? text_ + end : p + 1;
  }
  if (extended_operator(p)) ++p;
  if (*p == '(') {
    const std::int32_t end = ends_[p - text_];
    return end >= 0 ? text_ + end : nullptr;
  }
  return p + unit_at(p).length;
}

const char* Pattern::close_of(const char* open) const {
  const std::int32_t end = ends_[open - text_];
  return end >= 0 ? text_ + end - 1 : nullptr;
}

int Pattern::group_number(const char* open) const {
  for (int i = 0; i < group_count_; ++i)
    if (group_opens_[i] == open) return i + 1;
  return 0;
}

bool Pattern::in_range(unsigned low, unsigned high, unsigned c) const {
  if (low <= c && c <= high) return true;
  // c is folded; a lower-case letter in the range folds onto it too.
  return folds && is_upper(c) && low <= to_lower(c) && to_lower(c) <= high;
}

// One that is not well formed holds nothing, but still ends where its "]" is.
Pattern::Bracket Pattern::bracket(const char* p, unsigned c) const {
  // A member character, backslash-escaped or not; q moves past it.
  auto member = [this](const char*& q) {
    if (escapes && *q == '\\' && q[1] != '\0') ++q;
    const Unit u = unit_at(q);
    q += u.length;
    return u;
  };
  const char* q = p + 1;
  const bool negated = *q == '!';
  if (negated) ++q;
  bool found = false;
  bool valid = true;
  for (bool first = true; first || *q != ']'; first = false) {
    if (*q == '\0') return {nullptr, false};
    if (*q == '[' && (q[1] == ':' || q[1] == '=' || q[1] == '.')) {
      const char terminator[] = {q[1], ']', '\0'};
      const char* name = q + 2;
      if (const char* close = std::strstr(name, terminator)) {
        const auto length = static_cast<std::size_t>(close - name);
        if (q[1] == ':') {
          const CharacterClass* named = find_class(name, length);
          valid = valid && named != nullptr;
          found = found || (named != nullptr && c <= 0x7F && named->test(c));
        } else {
          const Unit u = unit_at(name);
          valid = valid && u.length > 0 && static_cast<std::size_t>(u.length) == length;
          found = found || u.code == c;
        }
        q = close + 2;
        continue;
      }
    }
    const Unit low = member(q);
    if (*q == '-' && q[1] == ']') {
      valid = false;
      ++q;
    } else if (*q == '-' && q[1] != '\0') {
      ++q;
      const Unit high = member(q);
      valid = valid && low.code <= high.code;
      found = found || in_range(low.code, high.code, c);
    } else {
      found = found || fold(low.code) == c;
    }
  }
  return {q + 1, valid && found != negated};
}

}  // namespace zav::wildcard
