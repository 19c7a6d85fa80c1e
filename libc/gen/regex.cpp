// regcomp, regexec and regfree: an extended expression becomes a small automaton
// in the runtime's heap, and the text is run through all of its states at once,
// so a match costs at most the text's length times the automaton's size.
#include <zav/regex.h>

#include <cstring>

#include <zav/stdlib.h>

namespace zav {

namespace {

// Beyond these an expression is refused with REG_ESPACE_ (nodes, nesting) or
// REG_BADBR_ (a bound above RE_DUP_MAX).
constexpr int node_limit = 8192;
constexpr int nesting_limit = 64;
constexpr int repeat_limit = 255;

struct Node {
  enum Kind : unsigned char { byte_set, line_start, line_end, split, jump, match };
  Kind kind;
  int next;
  int alternative;  // the second way out of a split
  unsigned char bytes[32];

  bool holds(unsigned char c) const { return (bytes[c / 8] >> (c % 8)) & 1; }
  void add(unsigned char c) { bytes[c / 8] = static_cast<unsigned char>(bytes[c / 8] | 1u << (c % 8)); }
};

struct Program {
  Node* nodes;
  int count;
  int start;
  int cflags;
};

// A piece of automaton: its nodes are first to the end of the array, entered at
// `start`; `out` is its one node whose next is still to be set.
struct Fragment {
  int first;
  int start;
  int out;
};

struct CharacterClass {
  const char* name;
  bool (*holds)(int c);
};

bool is_upper(int c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(int c) { return c >= 'a' && c <= 'z'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_alpha(int c) { return is_upper(c) || is_lower(c); }
bool is_graph(int c) { return c > ' ' && c < 0x7F; }

constexpr CharacterClass classes[] = {
    {"alpha", is_alpha},
    {"digit", is_digit},
    {"alnum", [](int c) { return is_alpha(c) || is_digit(c); }},
    {"upper", is_upper},
    {"lower", is_lower},
    {"space", [](int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }},
    {"blank", [](int c) { return c == ' ' || c == '\t'; }},
    {"punct", [](int c) { return is_graph(c) && !is_alpha(c) && !is_digit(c); }},
    {"print", [](int c) { return c == ' ' || is_graph(c); }},
    {"graph", is_graph},
    {"cntrl", [](int c) { return c < ' ' || c == 0x7F; }},
    {"xdigit", [](int c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }},
};

class Compiler {
 public:
  explicit Compiler(const char* pattern) : p_(pattern) {}
  Compiler(const Compiler&) = delete;
  Compiler& operator=(const Compiler&) = delete;
  ~Compiler() { free(nodes_); }

  // The program for the whole pattern, or null with error() set.
  Program* compile(int cflags);
  int error() const { return error_; }
  std::size_t groups() const { return groups_; }

 private:
  int add(Node::Kind kind, int next = -1, int alternative = -1);
  bool fail(int code) {
    if (error_ == 0) error_ = code;
    return false;
  }
  Fragment empty() {
    const int j = add(Node::jump);
    return {j, j, j};
  }
  void concatenate(Fragment& to, const Fragment& next) {
    nodes_[to.out].next = next.start;
    to.out = next.out;
  }
  Fragment copy_of(const Fragment& piece, int end);

  bool alternation(Fragment& result, int depth);
  bool branch(Fragment& result, int depth);
  bool expression(Fragment& result, int depth);
  bool atom(Fragment& result, int depth);
  bool bounds(int& least, int& most);
  bool repeat(Fragment& piece, int least, int most);
  bool bracket(Node& set);
  bool bracket_element(Node& set);
  int collating_element(char delimiter);

  const char* p_;
  Node* nodes_ = nullptr;
  int count_ = 0;
  int capacity_ = 0;
  int error_ = 0;
  std::size_t groups_ = 0;
};

int Compiler::add(Node::Kind kind, int next, int alternative) {
  if (error_ != 0) return 0;
  if (count_ == capacity_) {
    const int grown = capacity_ == 0 ? 32 : capacity_ * 2;
    void* bigger = grown > node_limit ? nullptr : realloc(nodes_, static_cast<std::size_t>(grown) * sizeof(Node));
    if (bigger == nullptr) {
      fail(REG_ESPACE_);
      return 0;
    }
    nodes_ = static_cast<Node*>(bigger);
    capacity_ = grown;
  }
  Node& node = nodes_[count_];
  std::memset(&node, 0, sizeof node);
  node.kind = kind;
  node.next = next;
  node.alternative = alternative;
  return count_++;
}

// The nodes of `piece`, which are first to end, once more at the end of the
// array, their links moved with them.
Fragment Compiler::copy_of(const Fragment& piece, int end) {
  const int offset = count_ - piece.first;
  for (int i = piece.first; i < end && error_ == 0; ++i) {
    const Node original = nodes_[i];
    const int j = add(original.kind);
    if (error_ != 0) break;
    nodes_[j] = original;
    if (original.next >= 0) nodes_[j].next += offset;
    if (original.alternative >= 0) nodes_[j].alternative += offset;
  }
  return {piece.first + offset, piece.start + offset, piece.out + offset};
}

Program* Compiler::compile(int cflags) {
  if ((cflags & REG_EXTENDED_) == 0) {
    fail(REG_BADPAT_);
    return nullptr;
  }
  Fragment whole;
  if (!alternation(whole, 0)) return nullptr;
  const int end = add(Node::match);
  auto* program = static_cast<Program*>(malloc(sizeof(Program)));
  if (error_ != 0 || program == nullptr) {
    free(program);
    fail(REG_ESPACE_);
    return nullptr;
  }
  nodes_[whole.out].next = end;
  *program = {nodes_, count_, whole.start, cflags};
  nodes_ = nullptr;
  return program;
}

bool Compiler::alternation(Fragment& result, int depth) {
  if (!branch(result, depth)) return false;
  while (*p_ == '|') {
    ++p_;
    Fragment other;
    if (!branch(other, depth)) return false;
    const int choice = add(Node::split, result.start, other.start);
    const int joined = add(Node::jump);
    if (error_ != 0) return false;
    nodes_[result.out].next = joined;
    nodes_[other.out].next = joined;
    result = {result.first, choice, joined};
  }
  return true;
}

bool Compiler::branch(Fragment& result, int depth) {
  result = empty();
  while (*p_ != '\0' && *p_ != '|' && !(*p_ == ')' && depth > 0)) {
    Fragment next;
    if (!expression(next, depth)) return false;
    concatenate(result, next);
  }
  return error_ == 0;
}

bool Compiler::expression(Fragment& result, int depth) {
  if (*p_ == '*' || *p_ == '+' || *p_ == '?' || *p_ == '{') return fail(REG_BADRPT_);
  if (!atom(result, depth)) return false;
  for (;;) {
    int least = 0;
    int most = -1;
    if (*p_ == '{') {
      if (!bounds(least, most)) return false;
    } else if (*p_ == '*' || *p_ == '+' || *p_ == '?') {
      least = *p_ == '+' ? 1 : 0;
      most = *p_ == '?' ? 1 : -1;
      ++p_;
    } else {
      return true;
    }
    if (!repeat(result, least, most)) return false;
  }
}

bool Compiler::atom(Fragment& result, int depth) {
  const char c = *p_++;
  if (c == '(') {
    if (depth == nesting_limit) return fail(REG_ESPACE_);
    ++groups_;
    if (!alternation(result, depth + 1)) return false;
    if (*p_ != ')') return fail(REG_EPAREN_);
    ++p_;
    return true;
  }
  if (c == '^' || c == '$') {
    const int anchor = add(c == '^' ? Node::line_start : Node::line_end);
    result = {anchor, anchor, anchor};
    return error_ == 0;
  }
  const int set = add(Node::byte_set);
  if (error_ != 0) return false;
  result = {set, set, set};
  Node& node = nodes_[set];
  if (c == '.') {
    std::memset(node.bytes, 0xFF, sizeof node.bytes);
  } else if (c == '[') {
    return bracket(node);
  } else if (c == '\\') {
    if (*p_ == '\0') return fail(REG_EESCAPE_);
    node.add(static_cast<unsigned char>(*p_++));
  } else {
    node.add(static_cast<unsigned char>(c));
  }
  return true;
}

// {m}, {m,} or {m,n} at p_; leaves p_ after the closing brace.
bool Compiler::bounds(int& least, int& most) {
  ++p_;
  auto number = [this](int& value) {
    if (!is_digit(*p_)) return false;
    for (value = 0; is_digit(*p_); ++p_) {
      value = value * 10 + (*p_ - '0');
      if (value > repeat_limit) return false;
    }
    return true;
  };
  if (!number(least)) return fail(*p_ == '\0' ? REG_EBRACE_ : REG_BADBR_);
  most = least;
  if (*p_ == ',') {
    ++p_;
    most = -1;
    if (is_digit(*p_) && !number(most)) return fail(REG_BADBR_);
  }
  if (*p_ != '}') return fail(*p_ == '\0' ? REG_EBRACE_ : REG_BADBR_);
  ++p_;
  if (most >= 0 && most < least) return fail(REG_BADBR_);
  return true;
}

// piece{least,most}, most -1 for no bound: `least` copies in a row, then either
// a loop back over the last one or `most - least` copies that may be passed by.
bool Compiler::repeat(Fragment& piece, int least, int most) {
  const int end = count_;
  const int copies = most < 0 ? (least > 0 ? least : 1) : most;
  if (copies == 0) {
    piece = empty();
    return error_ == 0;
  }
  Fragment parts[repeat_limit];
  parts[0] = piece;
  for (int i = 1; i < copies && error_ == 0; ++i) parts[i] = copy_of(piece, end);
  Fragment result = empty();
  result.first = piece.first;
  for (int i = 0; i < copies && error_ == 0; ++i) {
    Fragment part = parts[i];
    // Without a bound the last part's choice comes after it and leads back into
    // it (before it too when no copy is required); an optional part has its
    // choice before it.
    const bool loops = most < 0 && i == copies - 1;
    if (loops || (most >= 0 && i >= least)) {
      const int exit = add(Node::jump);
      const int choice = add(Node::split, part.start, exit);
      if (error_ != 0) break;
      nodes_[part.out].next = loops ? choice : exit;
      part = {part.first, loops && least > 0 ? part.start : choice, exit};
    }
    concatenate(result, part);
  }
  piece = result;
  return error_ == 0;
}

bool Compiler::bracket(Node& set) {
  const bool negated = *p_ == '^';
  if (negated) ++p_;
  // A "]" right after the opening (and its "^") stands for itself.
  if (*p_ == ']') {
    set.add(']');
    ++p_;
  }
  while (*p_ != ']') {
    if (*p_ == '\0') return fail(REG_EBRACK_);
    if (!bracket_element(set)) return false;
  }
  ++p_;
  if (negated) {
    for (unsigned char& byte : set.bytes) byte = static_cast<unsigned char>(~byte);
  }
  return true;
}

// [.c.] or [=c=] at p_: the one byte between the delimiters, or -1 (error set).
int Compiler::collating_element(char delimiter) {
  const char* start = p_ + 2;
  const char* end = start;
  while (*end != '\0' && !(end[0] == delimiter && end[1] == ']')) ++end;
  if (*end == '\0' || end - start != 1) {
    fail(*end == '\0' ? REG_EBRACK_ : REG_ECOLLATE_);
    return -1;
  }
  p_ = end + 2;
  return static_cast<unsigned char>(*start);
}

bool Compiler::bracket_element(Node& set) {
  if (p_[0] == '[' && p_[1] == ':') {
    const char* name = p_ + 2;
    const char* end = std::strstr(name, ":]");
    if (end == nullptr) return fail(REG_EBRACK_);
    for (const CharacterClass& c : classes) {
      if (std::strlen(c.name) == static_cast<std::size_t>(end - name) && std::strncmp(c.name, name, end - name) == 0) {
        for (int b = 1; b < 256; ++b)
          if (c.holds(b)) set.add(static_cast<unsigned char>(b));
        p_ = end + 2;
        return true;
      }
    }
    return fail(REG_ECTYPE_);
  }
  int low;
  if (p_[0] == '[' && (p_[1] == '=' || p_[1] == '.')) {
    const bool equivalence = p_[1] == '=';
    low = collating_element(p_[1]);
    if (low < 0) return false;
    if (equivalence) {
      set.add(static_cast<unsigned char>(low));
      return true;
    }
  } else {
    low = static_cast<unsigned char>(*p_++);
  }
  if (p_[0] != '-' || p_[1] == ']' || p_[1] == '\0') {
    set.add(static_cast<unsigned char>(low));
    return true;
  }
  ++p_;
  int high;
  if (p_[0] == '[' && p_[1] == '.') {
    high = collating_element('.');
    if (high < 0) return false;
  } else if (p_[0] == '[' && (p_[1] == '=' || p_[1] == ':')) {
    return fail(REG_ERANGE_);
  } else {
    high = static_cast<unsigned char>(*p_++);
  }
  if (high < low) return fail(REG_ERANGE_);
  for (int b = low; b <= high; ++b) set.add(static_cast<unsigned char>(b));
  return true;
}

// The states reached so far: each node at most once per step.
class StateSet {
 public:
  StateSet(int* members, int* marks, int* pending) : members_(members), marks_(marks), pending_(pending) {}

  void clear(int step) {
    size_ = 0;
    step_ = step;
  }
  // Adds `node` and what it leads to without reading a byte.
  void enter(const Node* nodes, int node, bool at_start, bool at_end) {
    int waiting = 0;
    push(node, waiting);
    while (waiting > 0) {
      const Node& n = nodes[pending_[--waiting]];
      switch (n.kind) {
        case Node::byte_set:
        case Node::match: members_[size_++] = pending_[waiting]; break;
        case Node::line_start:
          if (at_start) push(n.next, waiting);
          break;
        case Node::line_end:
          if (at_end) push(n.next, waiting);
          break;
        case Node::split:
          push(n.alternative, waiting);
          push(n.next, waiting);
          break;
        case Node::jump: push(n.next, waiting); break;
      }
    }
  }
  int size() const { return size_; }
  int operator[](int i) const { return members_[i]; }

 private:
  void push(int node, int& waiting) {
    if (marks_[node] == step_) return;
    marks_[node] = step_;
    pending_[waiting++] = node;
  }

  int* members_;
  int* marks_;
  int* pending_;
  int size_ = 0;
  int step_ = 0;
};

}  // namespace

int regcomp(regex_t* expression, const char* pattern, int cflags) {
  expression->re_nsub = 0;
  expression->program_ = nullptr;
  Compiler compiler(pattern);
  Program* program = compiler.compile(cflags);
  if (program == nullptr) return compiler.error();
  expression->re_nsub = compiler.groups();
  expression->program_ = program;
  return 0;
}

int regexec(const regex_t* expression, const char* string, std::size_t nmatch, regmatch_t*, int eflags) {
  const auto* program = static_cast<const Program*>(expression->program_);
  if (program == nullptr) return REG_BADPAT_;
  if (nmatch > 0 && (program->cflags & REG_NOSUB_) == 0) return REG_ENOSYS_;
  const auto n = static_cast<std::size_t>(program->count);
  // The members of two sets, then the marks (zero-filled: no step yet) and the
  // work list that both share.
  auto* work = static_cast<int*>(malloc(4 * n * sizeof(int)));
  if (work == nullptr) return REG_ESPACE_;
  StateSet sets[2] = {{work, work + 2 * n, work + 3 * n}, {work + n, work + 2 * n, work + 3 * n}};
  const Node* nodes = program->nodes;
  const bool text_ends_line = (eflags & REG_NOTEOL_) == 0;
  int step = 1;
  StateSet* now = &sets[0];
  StateSet* after = &sets[1];
  now->clear(step);
  now->enter(nodes, program->start, (eflags & REG_NOTBOL_) == 0, text_ends_line && string[0] == '\0');
  int result = REG_NOMATCH_;
  for (const char* s = string;; ++s) {
    for (int i = 0; i < now->size() && result != 0; ++i)
      if (nodes[(*now)[i]].kind == Node::match) result = 0;
    if (result == 0 || *s == '\0') break;
    after->clear(++step);
    const bool at_end = text_ends_line && s[1] == '\0';
    for (int i = 0; i < now->size(); ++i) {
      const Node& node = nodes[(*now)[i]];
      if (node.kind == Node::byte_set && node.holds(static_cast<unsigned char>(*s)))
        after->enter(nodes, node.next, false, at_end);
    }
    // A match may begin at any position.
    after->enter(nodes, program->start, false, at_end);
    StateSet* swap = now;
    now = after;
    after = swap;
  }
  free(work);
  return result;
}

void regfree(regex_t* expression) {
  auto* program = static_cast<Program*>(expression->program_);
  if (program != nullptr) {
    free(program->nodes);
    free(program);
  }
  expression->program_ = nullptr;
  expression->re_nsub = 0;
}

}  // namespace zav
