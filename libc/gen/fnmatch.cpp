// fnmatch. Without back-references the text a group took never matters, only
// where it ended, so the pattern is read once from left to right over the set
// of string positions each element can reach: no choice is ever retried.
//
// An extended pattern needs exact stretches (for '&', for '!', and because each
// stretch it takes is non-empty), so its list is matched from each start on its
// own, once, and the positions reached are kept in a table by start. Applying
// it to a set is then a union of table rows, four starts at a time: the table
// holds the union for every combination of four neighbouring starts.
#include <zav/fnmatch.h>

#include <cstdint>
#include <cstring>

#include "pattern_syntax.h"

namespace zav {

namespace wildcard {

namespace {

using Word = std::uint64_t;
constexpr int word_bits = 64;
constexpr int block_starts = 4;
constexpr int block_entries = 1 << block_starts;

class PositionMatcher {
 public:
  PositionMatcher(const Pattern& pattern, Workspace& workspace) : pattern_(pattern), workspace_(workspace) {}

  bool matches(const char* string) {
    if (!read_string(string)) return false;
    Word* reached = take_set();
    set(reached, 0);
    sequence(pattern_.text(), Context::whole, true, reached);
    return !gave_up_ && has(reached, units_);
  }
  bool gave_up() const { return gave_up_; }

 private:
  // Positions are unit indexes 0 to units_; a set of them is words_ words.
  static bool has(const Word* s, int i) { return (s[i / word_bits] >> (i % word_bits) & 1) != 0; }
  static void set(Word* s, int i) { s[i / word_bits] |= Word{1} << (i % word_bits); }
  static void unset(Word* s, int i) { s[i / word_bits] &= ~(Word{1} << (i % word_bits)); }
  void clear(Word* s) const { std::memset(s, 0, sizeof(Word) * words_); }
  void copy(Word* to, const Word* from) const { std::memcpy(to, from, sizeof(Word) * words_); }
  bool empty(const Word* s) const {
    for (int w = 0; w < words_; ++w)
      if (s[w] != 0) return false;
    return true;
  }
  void unite(Word* to, const Word* from) const {
    for (int w = 0; w < words_; ++w) to[w] |= from[w];
  }
  // Adds the positions from `first` to `last`.
  void add_range(Word* s, int first, int last) const {
    for (int w = first / word_bits; w <= last / word_bits; ++w) {
      Word bits = ~Word{0};
      if (w == first / word_bits) bits &= ~Word{0} << (first % word_bits);
      if (w == last / word_bits) bits &= ~Word{0} >> (word_bits - 1 - last % word_bits);
      s[w] |= bits;
    }
  }

  // Charged for every pass over a set; past the budget the match gives up.
  bool spend(long work) {
    work_left_ -= work;
    if (work_left_ < 0) gave_up_ = true;
    return !gave_up_;
  }

  Word* allocate_sets(long count) {
    auto* sets = static_cast<Word*>(workspace_.allocate(sizeof(Word) * words_ * count));
    if (sets == nullptr) gave_up_ = true;
    return sets;
  }

  bool read_string(const char* string) {
    for (const char* s = string; *s != '\0'; s += unit_at(s).length) ++units_;
    words_ = units_ / word_bits + 1;
    blocks_ = units_ / block_starts + 1;
    codes_ = static_cast<unsigned*>(workspace_.allocate(sizeof(unsigned) * (units_ + 1)));
    const std::size_t length = std::strlen(pattern_.text());
    slots_ = static_cast<Word**>(workspace_.allocate(sizeof(Word*) * (length + 1)));
    // One set for the whole, four for each level of extended patterns.
    free_sets_ = allocate_sets(4 * (pattern_.depth() + 1) + 1);
    wildcard_ = allocate_sets(2);
    if (codes_ == nullptr || slots_ == nullptr || free_sets_ == nullptr || wildcard_ == nullptr) {
      gave_up_ = true;
      return false;
    }
    leading_period_ = wildcard_ + words_;
    int i = 0;
    for (const char* s = string; *s != '\0'; ++i) {
      const Unit u = unit_at(s);
      codes_[i] = u.code;
      const bool after_slash = i == 0 || (pattern_.pathname && codes_[i - 1] == '/');
      if (pattern_.period && u.code == '.' && after_slash) set(leading_period_, i);
      if (!(pattern_.pathname && u.code == '/') && !has(leading_period_, i)) set(wildcard_, i);
      s += u.length;
    }
    return true;
  }

  // Sets are taken and given back in stack order.
  Word* take_set() {
    Word* s = free_sets_;
    free_sets_ += words_;
    clear(s);
    return s;
  }
  void give_back(int count) { free_sets_ -= words_ * count; }

  // The units that the one-character element at p takes, made at its first use.
  const Word* units_taken(const char* p, bool leading) {
    Word*& mask = slots_[p - pattern_.text()];
    if (mask != nullptr) return mask;
    if (!spend(static_cast<long>(units_) * (pattern_.element_end(p) - p))) return nullptr;
    if ((mask = allocate_sets(1)) == nullptr) return nullptr;
    const bool escaped = pattern_.escapes && *p == '\\';
    const unsigned literal = unit_at(escaped ? p + 1 : p).code;
    for (int i = 0; i < units_; ++i) {
      bool takes;
      if (*p == '?' && !escaped) {
        takes = has(wildcard_, i);
      } else if (*p == '[' && !escaped) {
        takes = has(wildcard_, i) && pattern_.bracket(p, pattern_.fold(codes_[i])).member;
      } else {
        takes = pattern_.fold(literal) == pattern_.fold(codes_[i]) && (leading || !has(leading_period_, i));
      }
      if (takes) set(mask, i);
    }
    return mask;
  }

  // s becomes the positions one unit after those of its members whose unit is in `taken`.
  void step(Word* s, const Word* taken) const {
    Word carry = 0;
    for (int w = 0; w < words_; ++w) {
      const Word moved = s[w] & taken[w];
      s[w] = moved << 1 | carry;
      carry = moved >> (word_bits - 1);
    }
  }

  // s becomes every position a star can reach from a member: on through each
  // run of units that a wildcard may take. Adding the run to its first member
  // carries to the run's end and flips every bit that the star passes.
  void star(Word* s) const {
    Word carry = 0;
    for (int w = 0; w < words_; ++w) {
      const Word run = wildcard_[w];
      const Word start = s[w] & run;
      const Word sum = start + run;
      const Word total = sum + carry;
      carry = (sum < start ? 1 : 0) | (total < sum ? 1 : 0);
      s[w] |= total ^ run;
    }
  }

  // Where the sequence from p can end, from each member of s; s is replaced.
  void sequence(const char* p, Context context, bool leading, Word* s) {
    while (!pattern_.ends_sequence(p, context)) {
      if (gave_up_ || !spend(words_) || empty(s)) return clear(s);
      if (extended_operator(p)) {
        if (pattern_.close_of(p + 1) == nullptr) return clear(s);
        extended(p, leading, s);
        p = pattern_.element_end(p);
      } else if (*p == '*') {
        star(s);
        while (*p == '*' && !extended_operator(p)) ++p;
      } else if (*p == '(') {
        const char* close = pattern_.close_of(p);
        if (close == nullptr) return clear(s);
        sequence(p + 1, Context::group, leading, s);
        p = close + 1;
      } else {
        if (pattern_.escapes && *p == '\\' && p[1] == '\0') return clear(s);
        if (*p == '[' && pattern_.element_end(p) == p + 1) return clear(s);
        const Word* taken = units_taken(p, leading);
        if (taken == nullptr) return clear(s);
        step(s, taken);
        leading = pattern_.pathname && (*p == '/' || (pattern_.escapes && *p == '\\' && p[1] == '/'));
        p = pattern_.element_end(p);
        continue;
      }
      leading = false;
    }
  }

  // Entry v of block b: the union of the rows of the starts 4b + k for the bits k of v.
  Word* entry(Word* table, int block, int v) const { return table + words_ * (block * block_entries + v); }

  // Adds the rows of every member of s; blocks before `complete` hold only the
  // single rows, not yet their combinations.
  void unite_rows(Word* table, const Word* s, int complete, Word* out) {
    for (int w = 0; w < words_; ++w) {
      for (Word bits = s[w]; bits != 0;) {
        const int shift = __builtin_ctzll(bits) / block_starts * block_starts;
        const int block = (w * word_bits + shift) / block_starts;
        const int v = static_cast<int>(bits >> shift & (block_entries - 1));
        bits &= ~(Word{block_entries - 1} << shift);
        if (block >= complete) {
          unite(out, entry(table, block, v));
        } else {
          for (int k = 0; k < block_starts; ++k)
            if ((v >> k & 1) != 0) unite(out, entry(table, block, 1 << k));
        }
      }
    }
  }

  // Where the list of the extended pattern at p ends from `start`: with any
  // alternative, each of its '&' parts over the same stretch.
  void list_ends(const char* p, bool leading, int start, Word* ends) {
    Word* alternative = take_set();
    Word* part = take_set();
    bool first_part = true;
    for (const char* q = p + 2;; ++q) {
      const char* part_start = q;
      while (*q != '&' && *q != '|' && *q != ')') q = pattern_.element_end(q);
      clear(part);
      set(part, start);
      sequence(part_start, Context::list, leading, part);
      if (first_part) {
        copy(alternative, part);
      } else {
        for (int w = 0; w < words_; ++w) alternative[w] &= part[w];
      }
      first_part = *q != '&';
      if (first_part) unite(ends, alternative);
      if (*q == ')') break;
    }
    give_back(2);
  }

  // The table of the extended pattern at p, made at its first use from the last
  // start to the first, so that a repeated list finds the rows of the starts
  // after its own already made.
  Word* table(const char* p, bool leading) {
    Word*& slot = slots_[p - pattern_.text()];
    if (slot != nullptr) return slot;
    Word* made = allocate_sets(static_cast<long>(blocks_) * block_entries);
    if (made == nullptr) return nullptr;
    const char kind = *p;
    Word* ends = take_set();
    int stretch_end = units_;  // the first '/' at or after the start, under FNM_PATHNAME
    for (int i = units_; i >= 0 && !gave_up_; --i) {
      const int block = i / block_starts;
      Word* row = entry(made, block, 1 << (i % block_starts));
      clear(ends);
      list_ends(p, leading, i, ends);
      if (kind == '!') {
        if (i < units_ && pattern_.pathname && codes_[i] == '/') stretch_end = i;
        add_range(row, i, has(leading_period_, i) ? i : stretch_end);
        for (int w = 0; w < words_; ++w) row[w] &= ~ends[w];
      } else {
        // Each stretch is non-empty; a repeated list goes on from where it ended.
        unset(ends, i);
        copy(row, ends);
        if (kind == '+' || kind == '*') unite_rows(made, ends, block + 1, row);
        if (kind == '?' || kind == '*') set(row, i);
      }
      if (i % block_starts == 0) {
        for (int v = 3; v < block_entries; ++v)
          if ((v & (v - 1)) != 0) {
            copy(entry(made, block, v), entry(made, block, v & (v - 1)));
            unite(entry(made, block, v), entry(made, block, v & -v));
          }
      }
      spend(static_cast<long>(words_) * block_entries);
    }
    give_back(1);
    if (gave_up_) return nullptr;
    return slot = made;
  }

  void extended(const char* p, bool leading, Word* s) {
    Word* rows = table(p, leading);
    if (rows == nullptr) return clear(s);
    Word* reached = take_set();
    unite_rows(rows, s, 0, reached);
    spend(static_cast<long>(words_) * blocks_);
    copy(s, reached);
    give_back(1);
  }

  const Pattern& pattern_;
  Workspace& workspace_;
  int units_ = 0;
  int words_ = 0;
  int blocks_ = 0;
  unsigned* codes_ = nullptr;
  Word* wildcard_ = nullptr;        // units that ?, * and [...] may take
  Word* leading_period_ = nullptr;  // periods that only a leading '.' of the pattern takes
  // By pattern offset: a one-character element's units, or an extended pattern's table.
  Word** slots_ = nullptr;
  Word* free_sets_ = nullptr;
  long work_left_ = FNM_POSITION_WORK;
  bool gave_up_ = false;
};

}  // namespace

Verdict match_positions(const Pattern& pattern, const char* string, Workspace& workspace) {
  PositionMatcher matcher(pattern, workspace);
  const bool matched = matcher.matches(string);
  if (matcher.gave_up()) return Verdict::gave_up;
  return matched ? Verdict::match : Verdict::no_match;
}

}  // namespace wildcard

int fnmatch(const char* pattern, const char* string, int flags) {
  using namespace wildcard;
  Workspace workspace;
  const Pattern parsed(pattern, flags, workspace);
  Verdict verdict = Verdict::gave_up;
  if (parsed.usable())
    verdict = parsed.has_back_references() ? match_with_back_references(parsed, string, workspace)
                                           : match_positions(parsed, string, workspace);
  if (workspace.heap_failed()) return FNM_NOSPACE;
  return verdict == Verdict::match ? 0 : FNM_NOMATCH;
}

}  // namespace zav
