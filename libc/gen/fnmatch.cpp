// fnmatch: a backtracking matcher that reads the pattern as it goes. Each step
// that can match in more than one way hands "the rest of the match" on as a
// continuation, so groups, back-references and the extended patterns all retry
// through the same path.
#include <zav/fnmatch.h>

#include <cstring>

#include <zav/path.h>
#include <zav/stdlib.h>

namespace zav {

namespace {

// One character of a name: a single byte, or a lead byte and its trail byte.
struct Unit {
  unsigned code;
  int length;  // 0 at the end of the text
};

Unit unit_at(const char* p) {
  const auto byte = static_cast<unsigned char>(*p);
  if (byte == 0) return {0, 0};
  if (is_lead_byte(*p) && p[1] != '\0') return {unsigned{byte} << 8 | static_cast<unsigned char>(p[1]), 2};
  return {byte, 1};
}

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

// Where the part of the pattern being read ends: the whole pattern, a group's
// ")", or, in an extended pattern's list, also "|" and "&".
enum class Context { whole, group, list };

struct Bracket {
  const char* end;  // after the closing ']'; null when there is none
  bool member;
};

constexpr int group_limit = 9;

class Matcher {
 public:
  Matcher(const char* pattern, const char* string, int flags)
      : pattern_(pattern),
        string_(string),
        escapes_((flags & FNM_NOESCAPE) == 0),
        pathname_((flags & FNM_PATHNAME) != 0),
        period_((flags & FNM_PERIOD) != 0),
        fold_((flags & FNM_CASEFOLD) != 0 ||
              ((flags & FNM_IGNORE_DUALCASE) == 0 && getenv("DUALCASE") == nullptr)),
        stars_final_(std::strchr(pattern, '(') == nullptr && !(pathname_ && std::strchr(string, '/') != nullptr)) {
    number_groups();
  }

  bool matches() {
    return sequence(pattern_, string_, Context::whole, true, [](const char* s) { return *s == '\0'; });
  }

 private:
  struct Capture {
    const char* begin;
    const char* end;
    bool closed;
  };

  unsigned fold(unsigned c) const { return fold_ ? to_upper(c) : c; }

  bool protected_period(const char* s) const {
    return period_ && *s == '.' && (s == string_ || (pathname_ && s[-1] == '/'));
  }

  // Whether ?, * or a bracket expression may take the character at s.
  bool wildcard_takes(const char* s, Unit u) const {
    return u.length > 0 && !(pathname_ && u.code == '/') && !protected_period(s);
  }

  static bool ends_sequence(const char* p, Context context) {
    if (*p == '\0') return true;
    if (context == Context::whole) return false;
    return *p == ')' || (context == Context::list && (*p == '|' || *p == '&'));
  }

  static bool extended_operator(const char* p) {
    return (*p == '@' || *p == '*' || *p == '+' || *p == '?' || *p == '!') && p[1] == '(';
  }

  // The text after the element that begins at p, for skipping over it; null
  // when a parenthesis in it is never closed.
  const char* element_end(const char* p) const {
    if (escapes_ && *p == '\\') return p[1] == '\0' ? p + 1 : p + 1 + unit_at(p + 1).length;
    if (*p == '[') {
      const char* q = bracket(p, 0).end;
      return q != nullptr ? q : p + 1;
    }
    if (extended_operator(p)) ++p;
    if (*p == '(') {
      const char* close = close_of(p);
      return close != nullptr ? close + 1 : nullptr;
    }
    return p + unit_at(p).length;
  }

  const char* close_of(const char* open) const {
    const char* q = open + 1;
    while (q != nullptr && *q != '\0' && *q != ')') q = element_end(q);
    return q != nullptr && *q == ')' ? q : nullptr;
  }

  // The first nine opening parentheses, in pattern order, are groups 1 to 9.
  void number_groups() {
    for (const char* p = pattern_; *p != '\0' && group_count_ < group_limit;) {
      if (*p == '(') group_opens_[group_count_++] = p;
      if (escapes_ && *p == '\\' && p[1] != '\0') {
        p += 1 + unit_at(p + 1).length;
      } else if (*p == '[') {
        const char* q = bracket(p, 0).end;
        p = q != nullptr ? q : p + 1;
      } else {
        p += unit_at(p).length;
      }
    }
  }

  int group_number(const char* open) const {
    for (int i = 0; i < group_count_; ++i)
      if (group_opens_[i] == open) return i + 1;
    return 0;
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

  // A member character at q, backslash-escaped or not; q moves past it.
  Unit member(const char*& q) const {
    if (escapes_ && *q == '\\' && q[1] != '\0') ++q;
    const Unit u = unit_at(q);
    q += u.length;
    return u;
  }

  bool in_range(unsigned low, unsigned high, unsigned c) const {
    if (low <= c && c <= high) return true;
    // c is folded; a lower-case letter in the range folds onto it too.
    return fold_ && is_upper(c) && low <= to_lower(c) && to_lower(c) <= high;
  }

  // Whether the bracket expression at p holds the (folded) character c; one that
  // is not well formed holds nothing, but still ends where its ']' is.
  Bracket bracket(const char* p, unsigned c) const {
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

  bool same_text(const char* begin, const char* end, const char*& s) const {
    const char* t = s;
    for (const char* a = begin; a < end;) {
      const Unit x = unit_at(a), y = unit_at(t);
      if (y.length == 0 || x.length != y.length || fold(x.code) != fold(y.code)) return false;
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
    while (true) {
      if (ends_sequence(p, context)) return next(s);
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
          const Bracket b = bracket(p, fold(here.code));
          if (!b.member) return false;
          p = b.end;
          s += here.length;
          leading = false;
          continue;
        }
        case '(':
          return group(p, s, context, leading, next);
        case '\\':
          if (!escapes_) break;
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
      if (here.length == 0 || fold(literal.code) != fold(here.code)) return false;
      if (!leading && protected_period(s)) return false;
      p += literal.length;
      s += here.length;
      leading = pathname_ && literal.code == '/';
    }
  }

  bool star(const char* p, const char* s, Context context, const Next& next) {
    while (*p == '*' && !extended_operator(p)) ++p;
    for (const char* t = s;;) {
      if (sequence(p, t, context, false, next)) return true;
      if (no_match_left_) return false;
      const Unit u = unit_at(t);
      if (!wildcard_takes(t, u)) {
        no_match_left_ = stars_final_;
        return false;
      }
      t += u.length;
    }
  }

  bool group(const char* open, const char* s, Context context, bool leading, const Next& next) {
    const char* close = close_of(open);
    if (close == nullptr) return false;
    const int number = group_number(open);
    return sequence(open + 1, s, Context::group, leading, [&](const char* end) {
      return with_capture(number, s, end, [&] { return sequence(close + 1, end, context, false, next); });
    });
  }

  // Tries every alternative of the list that begins at `list` against exactly
  // the text from `begin` to `end`, going on with `next` after each success.
  bool alternatives(const char* list, const char* begin, const char* end, bool leading, const Next& next) {
    for (const char* alternative = list;;) {
      if (conjunction(alternative, begin, end, leading, next)) return true;
      const char* q = alternative;
      while (*q != '|' && *q != ')') q = element_end(q);
      if (*q == ')') return false;
      alternative = q + 1;
    }
  }

  // Every part of an alternative, separated by '&', must match the same text.
  bool conjunction(const char* part, const char* begin, const char* end, bool leading, const Next& next) {
    const char* q = part;
    while (*q != '&' && *q != '|' && *q != ')') q = element_end(q);
    return sequence(part, begin, Context::list, leading, [&](const char* reached) {
      if (reached != end) return false;
      return *q == '&' ? conjunction(q + 1, begin, end, leading, next) : next(end);
    });
  }

  // One or more non-empty stretches, each matched by some alternative.
  bool repeat(const char* list, const char* from, bool leading, const Next& after) {
    for (const char* end = from; *end != '\0';) {
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
    const char* close = close_of(open);
    if (close == nullptr) return false;
    const char* list = open + 1;
    const int number = group_number(open);
    auto rest = [&](const char* end) {
      return with_capture(number, s, end, [&] { return sequence(close + 1, end, context, false, next); });
    };
    if (kind == '!') {
      for (const char* end = s;; end += unit_at(end).length) {
        if (end > s && pathname_ && end[-1] == '/') return false;
        const bool excluded = alternatives(list, s, end, leading, [](const char*) { return true; });
        if (!excluded && (end == s || !protected_period(s)) && rest(end)) return true;
        if (*end == '\0') return false;
      }
    }
    if ((kind == '?' || kind == '*') && rest(s)) return true;
    if (kind == '*' || kind == '+') return repeat(list, s, leading, rest);
    for (const char* end = s; *end != '\0';) {
      end += unit_at(end).length;
      if (alternatives(list, s, end, leading, rest)) return true;
    }
    return false;
  }

  const char* pattern_;
  const char* string_;
  const bool escapes_;
  const bool pathname_;
  const bool period_;
  const bool fold_;
  // Without groups, and with no '/' for a star to stop at, a star that has tried
  // every length shows that nothing matches: an earlier star that took more would
  // only start it later. Each star then runs once, not once per choice of every
  // star before it.
  const bool stars_final_;
  bool no_match_left_ = false;
  const char* group_opens_[group_limit] = {};
  int group_count_ = 0;
  Capture captures_[group_limit + 1] = {};
};

}  // namespace

int fnmatch(const char* pattern, const char* string, int flags) {
  return Matcher(pattern, string, flags).matches() ? 0 : FNM_NOMATCH;
}

}  // namespace zav
