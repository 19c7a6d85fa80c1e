// Start-up's splitting of the command line into words: quotes, a backslash
// before a double quote, double-byte characters, and which words are patterns.
#include <zav/path.h>
#include <zav/startup.h>

namespace zav {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

// The de-quoted text is never longer than what it came from.
void split_command_line(char* line, void (*take)(char* word, bool wildcard, void* context), void* context) {
  char* in = line;
  while (true) {
    while (is_blank(*in)) ++in;
    if (*in == '\0') return;
    char* word = in;
    char* out = in;
    char quote = '\0';
    int wildcards = 0;
    while (*in != '\0') {
      char c = *in;
      if (quote == '\0' && is_blank(c)) break;
      if (c == '"' || c == '\'') {
        if (quote == '\0')
          quote = c;
        else if (quote == c)
          quote = '\0';
        else
          *out++ = c;
        ++in;
      } else if (c == '\\' && in[1] == '"' && quote != '\'') {
        *out++ = '"';
        in += 2;
      } else {
        if ((c == '*' || c == '?' || c == '[') && quote == '\0') ++wildcards;
        *out++ = c;
        ++in;
        if (is_lead_byte(c) && *in != '\0') *out++ = *in++;
      }
    }
    bool more = *in != '\0';
    if (more) ++in;
    *out = '\0';
    take(word, wildcards > 0, context);
    if (!more) return;
  }
}

}  // namespace zav
