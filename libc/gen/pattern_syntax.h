// What the two fnmatch matchers share: how a pattern is read (characters,
// bracket expressions, where each element ends), and the memory they work in.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zav/fnmatch.h>

namespace zav::wildcard {

// One character of a text: a single byte, or a lead byte and its trail byte.
struct Unit {
  unsigned code;
  int length;  // 0 at the end of the text
};

Unit unit_at(const char* p);

// Where a sequence of the pattern ends: at the end of the whole pattern, at a
// group's ")", or, in an extended pattern's list, also at "|" and "&".
enum class Context { whole, group, list };

inline bool extended_operator(const char* p) {
  return (*p == '@' || *p == '*' || *p == '+' || *p == '?' || *p == '!') && p[1] == '(';
}

inline constexpr int group_limit = 9;

// Zero-filled memory, all given back together: a buffer of its own first, then
// blocks from the runtime's heap. The total is capped, so that thousands of
// extended patterns against a name of thousands of bytes give up instead of
// taking the machine's memory.
class Workspace {
 public:
  Workspace() = default;
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  ~Workspace();
  // Null when the cap is reached or the heap has nothing left.
  void* allocate(std::size_t bytes);
  bool heap_failed() const { return heap_failed_; }

 private:
  struct Block {
    Block* next;
    std::size_t padding;
  };
  alignas(16) unsigned char own_[16384];
  std::size_t own_used_ = 0;
  Block* blocks_ = nullptr;
  std::size_t total_ = 0;
  bool heap_failed_ = false;
};

class Pattern {
 public:
  Pattern(const char* text, int flags, Workspace& workspace);

  // False when the tables could not be made or parentheses nest too deeply to
  // be followed safely: such a pattern matches nothing.
  bool usable() const { return ends_ != nullptr; }
  const char* text() const { return text_; }
  // Whether a backslash and a digit name a group somewhere; only then may a
  // match depend on the text a group took.
  bool has_back_references() const { return back_references_; }
  // The deepest nesting of parentheses.
  int depth() const { return depth_; }

  unsigned fold(unsigned c) const;
  bool ends_sequence(const char* p, Context context) const {
    if (*p == '\0') return true;
    if (context == Context::whole) return false;
    return *p == ')' || (context == Context::list && (*p == '|' || *p == '&'));
  }
  // After the element that begins at p; null when a parenthesis in it is never closed.
  const char* element_end(const char* p) const;
  // The ")" that closes the "(" at `open`, or null.
  const char* close_of(const char* open) const;
  // The bracket expression at p: where it ends (null when it is never closed)
  // and whether it holds the folded character c.
  struct Bracket {
    const char* end;
    bool member;
  };
  Bracket bracket(const char* p, unsigned c) const;
  // 1 to 9 for the first nine opening parentheses, 0 for the others.
  int group_number(const char* open) const;

  const bool escapes;
  const bool pathname;
  const bool period;
  const bool folds;

 private:
  void read_structure(Workspace& workspace);
  bool in_range(unsigned low, unsigned high, unsigned c) const;

  const char* text_;
  // By byte offset: for "(" the offset after its ")", for "[" the offset after
  // its "]"; -1 when it is never closed.
  std::int32_t* ends_ = nullptr;
  const char* group_opens_[group_limit] = {};
  int group_count_ = 0;
  int depth_ = 0;
  bool back_references_ = false;
};

enum class Verdict { match, no_match, gave_up };

// By the sets of positions each part of the pattern can reach, for patterns
// without back-references: gives up only past FNM_POSITION_WORK or the
// workspace's cap.
Verdict match_positions(const Pattern& pattern, const char* string, Workspace& workspace);
// By trying the choices one by one, which a back-reference needs: gives up past
// `steps` steps.
Verdict match_with_back_references(const Pattern& pattern, const char* string, Workspace& workspace,
                                   long steps = FNM_BACK_REFERENCE_STEPS);

}  // namespace zav::wildcard
