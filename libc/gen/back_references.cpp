// The matcher for patterns with back-references: a backtracking matcher that
// reads the pattern as it goes. Each step that can match in more than one way
// hands "the rest of the match" on as a continuation, so groups, back-references
// and the extended patterns all retry through the same path. Which text a group
// took decides later steps, so choices cannot be shared between paths; the work
// is bounded instead.
#include <zav/fnmatch.h>

#include <cstring>

#include "pattern_syntax.h"

namespace zav::wildcard {

namespace {

// Continuations nest on the stack, one or two frames per step that chose.
constexpr int nesting_limit = 1000;

// A borrowed callable taking the string position where the matched part ends;
// the matcher's continuations live on its own stack, so nothing is allocated.
class Next {
 public:
  template <class F>
  Next(const F& f) : object_(&f), call_(&invoke<F>) {}
  bool operator()(const char* s) const { return call_(object_, s); }

 private:
  template <class F>
  static bool invoke(const void* object, const char* s) {
    return (*static_cast<const F*>(object))(s);
  }
  const void* object_;
  bool (*call_)(const void*, const char*);
};

class Backtracker {
 public:
  Backtracker(const Pattern& pattern, const char* string, const bool* after_slash, long steps)
      : pattern_(pattern), string_(string), after_slash_(after_slash), steps_left_(steps) {}

  bool matches() {
    return sequence(pattern_.text(), string_, Context::whole, true, [](const char* s) { return *s == '\0'; });
  }
  bool gave_up() const { return steps_left_ < 0; }

 private:
  struct Capture {
    const char* begin;
    const char* end;
    bool closed;
  };

  // Counts `work` against the budget; false once it is spent, and from then on
  // every loop and every path ends at its next step.
  bool spend(long work = 1) {
    steps_left_ -= work;
    return steps_left_ >= 0;
  }

  // Entered once per nested sequence; past the limit the match gives up.
  struct Nesting {
    explicit Nesting(Backtracker& b) : b_(b) {
      if (++b_.nesting_ > nesting_limit) b_.steps_left_ = -1;
    }
    ~Nesting() { --b_.nesting_; }
    Backtracker& b_;
  };

  bool protected_period(const char* s) const {
    return pattern_.period && *s == '.' && (s == string_ || (after_slash_ != nullptr && after_slash_[s - string_]));
  }

  // Whether ?, * or a bracket expression may take the character at s.
  bool wildcard_takes(const char* s, Unit u) const {
    return u.length > 0 && !(pattern_.pathname && u.code == '/') && !protected_period(s);
  }

  template <class F>
  bool with_capture(int group, const char* begin, const char* end, const F& then) {
    if (group == 0) return then();
    const Capture saved = captures_[group];
    captures_[group] = {begin, end, true};
    const bool matched = then();
    captures_[group] = saved;
    return matched;
  }

  bool same_text(const char* begin, const char* end, const char*& s) {
    if (!spend(end - begin)) return false;
    const char* t = s;
    for (const char* a = begin; a < end;) {
      const Unit x = unit_at(a), y = unit_at(t);
      if (y.length == 0 || x.length != y.length || pattern_.fold(x.code) != pattern_.fold(y.code)) return false;
      a += x.length;
      t += y.length;
    }
    s = t;
    return true;
  }

  // `leading`: nothing of the pattern comes before p but the opening of groups
  // and lists (or, with FNM_PATHNAME, a '/'), so a literal '.' there may take a
  // leading period.
  bool sequence(const char* p, const char* s, Context context, bool leading, const Next& next) {
    const Nesting nesting(*this);
    while (spend()) {
      if (pattern_.ends_sequence(p, context)) return next(s);
      if (extended_operator(p)) return extended(p, s, context, leading, next);
      const Unit here = unit_at(s);
      switch (*p) {
        case '*':
          return star(p, s, context, next);
        case '?':
          if (!wildcard_takes(s, here)) return false;
          ++p;
          s += here.length;
          leading = false;
          continue;
        case '[': {
          if (!wildcard_takes(s, here)) return false;
          const Pattern::Bracket b = pattern_.bracket(p, pattern_.fold(here.code));
          if (!b.member || !spend(b.end - p)) return false;
          p = b.end;
          s += here.length;
          leading = false;
          continue;
        }
        case '(':
          return group(p, s, context, leading, next);
        case '\\':
          if (!pattern_.escapes) break;
          if (p[1] == '\0') return false;
          if (p[1] >= '1' && p[1] <= '9' && captures_[p[1] - '0'].closed) {
            const Capture& c = captures_[p[1] - '0'];
            if (!same_text(c.begin, c.end, s)) return false;
            p += 2;
            leading = false;
            continue;
          }
          ++p;
          break;
        default:
          break;
      }
      const Unit literal = unit_at(p);
      if (here.length == 0 || pattern_.fold(literal.code) != pattern_.fold(here.code)) return false;
      if (!leading && protected_period(s)) return false;
      p += literal.length;
      s += here.length;
      leading = pattern_.pathname && literal.code == '/';
    }
    return false;
  }

  bool star(const char* p, const char* s, Context context, const Next& next) {
    while (*p == '*' && !extended_operator(p)) ++p;
    for (const char* t = s; spend();) {
      if (sequence(p, t, context, false, next)) return true;
      const Unit u = unit_at(t);
      if (!wildcard_takes(t, u)) return false;
      t += u.length;
    }
    return false;
  }

  bool group(const char* open, const char* s, Context context, bool leading, const Next& next) {
    const char* close = pattern_.close_of(open);
    if (close == nullptr) return false;
    const int number = pattern_.group_number(open);
    return sequence(open + 1, s, Context::group, leading, [&](const char* end) {
      return with_capture(number, s, end, [&] { return sequence(close + 1, end, context, false, next); });
    });
  }

  // Tries every alternative of the list that begins at `list` against exactly
  // the text from `begin` to `end`, going on with `next` after each success.
  bool alternatives(const char* list, const char* begin, const char* end, bool leading, const Next& next) {
    for (const char* alternative = list; spend();) {
      if (conjunction(alternative, begin, end, leading, next)) return true;
      const char* q = alternative;
      while (*q != '|' && *q != ')') q = pattern_.element_end(q);
      if (*q == ')' || !spend(q - alternative)) return false;
      alternative = q + 1;
    }
    return false;
  }

  // Every part of an alternative, separated by '&', must match the same text.
  bool conjunction(const char* part, const char* begin, const char* end, bool leading, const Next& next) {
    const char* q = part;
    while (*q != '&' && *q != '|' && *q != ')') q = pattern_.element_end(q);
    if (!spend(q - part)) return false;
    return sequence(part, begin, Context::list, leading, [&](const char* reached) {
      if (reached != end) return false;
      return *q == '&' ? conjunction(q + 1, begin, end, leading, next) : next(end);
    });
  }

  // One or more non-empty stretches, each matched by some alternative.
  bool repeat(const char* list, const char* from, bool leading, const Next& after) {
    for (const char* end = from; *end != '\0' && spend();) {
      end += unit_at(end).length;
      const bool matched = alternatives(list, from, end, leading, [&](const char* reached) {
        return after(reached) || repeat(list, reached, leading, after);
      });
      if (matched) return true;
    }
    return false;
  }

  bool extended(const char* p, const char* s, Context context, bool leading, const Next& next) {
    const char kind = *p;
    const char* open = p + 1;
    const char* close = pattern_.close_of(open);
    if (close == nullptr) return false;
    const char* list = open + 1;
    const int number = pattern_.group_number(open);
    auto rest = [&](const char* end) {
      return with_capture(number, s, end, [&] { return sequence(close + 1, end, context, false, next); });
    };
    if (kind == '!') {
      for (const char* end = s; spend();) {
        const bool excluded = alternatives(list, s, end, leading, [](const char*) { return true; });
        if (!excluded && (end == s || !protected_period(s)) && rest(end)) return true;
        const Unit next = unit_at(end);
        if (next.length == 0 || (pattern_.pathname && next.code == '/')) return false;
        end += next.length;
      }
      return false;
    }
    if ((kind == '?' || kind == '*') && rest(s)) return true;
    if (kind == '*' || kind == '+') return repeat(list, s, leading, rest);
    for (const char* end = s; *end != '\0' && spend();) {
      end += unit_at(end).length;
      if (alternatives(list, s, end, leading, rest)) return true;
    }
    return false;
  }

  const Pattern& pattern_;
  const char* string_;
  // By byte offset, under FNM_PATHNAME: whether the character before is a '/'
  // (not the trail byte of a double-byte character).
  const bool* after_slash_;
  long steps_left_;
  int nesting_ = 0;
  Capture captures_[group_limit + 1] = {};
};

}  // namespace

Verdict match_with_back_references(const Pattern& pattern, const char* string, Workspace& workspace, long steps) {
  bool* after_slash = nullptr;
  if (pattern.pathname) {
    after_slash = static_cast<bool*>(workspace.allocate(std::strlen(string) + 1));
    if (after_slash == nullptr) return Verdict::gave_up;
    for (const char* s = string; *s != '\0';) {
      const Unit u = unit_at(s);
      s += u.length;
      after_slash[s - string] = u.code == '/';
    }
  }
  Backtracker backtracker(pattern, string, after_slash, steps);
  const bool matched = backtracker.matches();
  if (backtracker.gave_up()) return Verdict::gave_up;
  return matched ? Verdict::match : Verdict::no_match;
}

}  // namespace zav::wildcard
