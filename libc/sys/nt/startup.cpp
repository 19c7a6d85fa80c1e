#include <zav/startup.h>

#include <cstring>
#include <windows.h>

#include <zav/glob.h>
#include <zav/path.h>
#include <zav/stdio.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>

namespace zav {


namespace {

void no_exit_hook(int) {}

[[noreturn]] void fatal_startup_error() {
  static const char text[] = "_main: memory allocation error during startup.\r\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, sizeof text - 1, &written, nullptr);
  _exit(127);
}

char* copy_or_die(const char* text) {
  char* copy = strdup(text);
  if (copy == nullptr) fatal_startup_error();
  return copy;
}

void append_or_die(glob_t* args, char* arg) {
  if (glob_store(args, arg) != 0) fatal_startup_error();
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits the command line into words in place: the de-quoted text is never
// longer than what it came from.
void split_command_line(char* line, glob_t* args) {
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
    if (wildcards == 0)
      append_or_die(args, copy_or_die(word));
    else if (glob(word, GLOB_APPEND | GLOB_NOCHECK, nullptr, args) != 0)
      fatal_startup_error();
    if (!more) return;
  }
}

bool starts_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool is_path_entry_any_case(const char* entry) {
  static const char name[] = "path=";
  for (int i = 0; i < 5; ++i) {
    char c = entry[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != name[i]) return false;
  }
  return true;
}

void build_environment(const char* block) {
  int tilde_count = 0, drive_count = 0, env_count = 0;
  const char* path_upper = nullptr;
  const char* path_mixed = nullptr;
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
    if (entry[0] == '~') {
      ++tilde_count;
    } else if (entry[0] == '=') {
      ++drive_count;
    } else if (!starts_with(entry, "ZAVARGS=")) {
      ++env_count;
      if (starts_with(entry, "PATH="))
        path_upper = entry;
      else if (starts_with(entry, "Path="))
        path_mixed = entry;
    }
  }
  (void)tilde_count;
  const char* path_entry = path_upper != nullptr ? path_upper : path_mixed;

  drive_directory_list = static_cast<char**>(malloc(sizeof(char*) * (drive_count + 1)));
  environ_ = static_cast<char**>(malloc(sizeof(char*) * (env_count + 1)));
  if (drive_directory_list == nullptr || environ_ == nullptr) fatal_startup_error();

  int drives = 0, envs = 0;
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
    if (entry[0] == '~' || starts_with(entry, "ZAVARGS=")) continue;
    if (entry[0] == '=')
      drive_directory_list[drives++] = copy_or_die(entry);
    else if (!is_path_entry_any_case(entry))
      environ_[envs++] = copy_or_die(entry);
  }
  if (path_entry != nullptr) {
    char* path = copy_or_die(path_entry);
    std::memcpy(path, "PATH", 4);
    environ_[envs++] = path;
  }
  drive_directory_list[drives] = nullptr;
  environ_[envs] = nullptr;
}

}  // namespace

void _main() {
  if (init_descriptor_table() != 0) fatal_startup_error();
  init_stream_table();
  SetFileApisToOEM();

  char* block = GetEnvironmentStrings();
  build_environment(block != nullptr ? block : const_cast<char*>("\0"));
  if (block != nullptr) FreeEnvironmentStringsA(block);

  glob_t args{};
  args.gl_capacity = 8;
  args.gl_pathv = static_cast<char**>(malloc(sizeof(char*) * args.gl_capacity));
  if (args.gl_pathv == nullptr) fatal_startup_error();
  args.gl_first = args.gl_pathv;
  char* command_line = GetCommandLineA();
  CharToOemA(command_line, command_line);
  split_command_line(command_line, &args);
  args.gl_first[args.gl_pathc] = nullptr;

  exit(main(args.gl_pathc, args.gl_first, environ_));
}

void _cmain() {
  slash_drive_form = 1;
  exit_hook = no_exit_hook;
  _main();
}

}  // namespace zav
