#include <zav/startup.h>

#include <cstdint>
#include <cstdlib>
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

void store_or_die(glob_t* args, const char* text) {
  if (glob_store(args, copy_or_die(text)) != 0) fatal_startup_error();
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// A word goes into the vector as it is, or, with an unquoted wildcard, as the
// names that match it.
void store_or_expand(char* word, bool wildcard, void* args) {
  auto* vector = static_cast<glob_t*>(args);
  if (!wildcard)
    store_or_die(vector, word);
  else if (glob(word, GLOB_APPEND | GLOB_NOCHECK, nullptr, vector) != 0)
    fatal_startup_error();
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

uint32_t read_block_word(const unsigned char* view, size_t offset) {
  uint32_t word;
  std::memcpy(&word, view + offset, sizeof word);
  return word;
}

// An argument block handed over by a parent process is a file mapping whose
// handle the child inherited: the process id it is meant for at offset 8, the
// count at 16, then the arguments one after the other.
//
// Maps the block that a "ZAVARGS=" entry names; null when it cannot be mapped
// or belongs to another process. The view is never unmapped.
const unsigned char* map_argument_block(const char* handle_digits) {
  auto handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(std::strtol(handle_digits, nullptr, 16)));
  auto* view = static_cast<const unsigned char*>(MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (view == nullptr || read_block_word(view, 8) != GetCurrentProcessId()) return nullptr;
  return view;
}

// A parent hands the arguments over, instead of on the command line, only when
// the command name is followed by a TAB or it left a valid block.
int handoff_indicator(const char* command_line) {
  const char* p = command_line;
  while (*p != '\0' && !is_blank(*p)) ++p;
  return *p == '\t' ? 1 : 0;
}

enum class ArgumentSource { command_line, block, tilde_entries };

// Builds environ_ and drive_directory_list from the environment block and, when
// the arguments were handed over, the argument vector too.
ArgumentSource build_environment(const char* block, const char* command_line, glob_t* args) {
  int indicator = handoff_indicator(command_line);
  int tilde_count = 0, drive_count = 0, env_count = 0;
  const char* path_upper = nullptr;
  const char* path_mixed = nullptr;
  const unsigned char* handed_block = nullptr;
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
    if (entry[0] == '~') {
      ++tilde_count;
    } else if (entry[0] == '=') {
      ++drive_count;
    } else if (starts_with(entry, "ZAVARGS=")) {
      if (const unsigned char* view = map_argument_block(entry + 8)) {
        handed_block = view;
        ++indicator;
      }
    } else {
      ++env_count;
      if (starts_with(entry, "PATH="))
        path_upper = entry;
      else if (starts_with(entry, "Path="))
        path_mixed = entry;
    }
  }
  const char* path_entry = path_upper != nullptr ? path_upper : path_mixed;

  ArgumentSource source = ArgumentSource::command_line;
  if (indicator != 0 && handed_block != nullptr)
    source = ArgumentSource::block;
  else if (indicator != 0 && tilde_count > 0)
    source = ArgumentSource::tilde_entries;
  if (source != ArgumentSource::command_line) SetErrorMode(SetErrorMode(0) | SEM_NOGPFAULTERRORBOX);
  if (source == ArgumentSource::block) {
    uint32_t count = read_block_word(handed_block, 16);
    const char* text = reinterpret_cast<const char*>(handed_block + 20);
    for (uint32_t i = 0; i < count; ++i, text += std::strlen(text) + 1) store_or_die(args, text);
  }

  drive_directory_list = static_cast<char**>(malloc(sizeof(char*) * (drive_count + 1)));
  environ_ = static_cast<char**>(malloc(sizeof(char*) * (env_count + 1)));
  if (drive_directory_list == nullptr || environ_ == nullptr) fatal_startup_error();

  int drives = 0, envs = 0;
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
    if (entry[0] == '~') {
      if (source == ArgumentSource::tilde_entries) store_or_die(args, entry + 1);
    } else if (starts_with(entry, "ZAVARGS=")) {
      continue;
    } else if (entry[0] == '=') {
      drive_directory_list[drives++] = copy_or_die(entry);
    } else if (!is_path_entry_any_case(entry)) {
      environ_[envs++] = copy_or_die(entry);
    }
  }
  if (path_entry != nullptr) {
    char* path = copy_or_die(path_entry);
    std::memcpy(path, "PATH", 4);
    environ_[envs++] = path;
  }
  drive_directory_list[drives] = nullptr;
  environ_[envs] = nullptr;
  return source;
}

#ifdef _WIN64
// The handler of the outermost frame of the program's own code: what reaches it
// was handled nowhere else. The system's unhandled-exception processing decides
// (an error box, a debugger); when it asks for the handler, the process ends with
// the exception code.
extern "C" [[gnu::used]] EXCEPTION_DISPOSITION start_up_frame_handler(EXCEPTION_RECORD* record, void*,
                                                                      CONTEXT* context, void*) {
  if ((record->ExceptionFlags & EXCEPTION_UNWINDING) != 0) return ExceptionContinueSearch;
  const DWORD code = record->ExceptionCode;
  EXCEPTION_POINTERS pointers{record, context};
  const LONG decision = UnhandledExceptionFilter(&pointers);
  if (decision == EXCEPTION_EXECUTE_HANDLER) _exit(static_cast<int>(code));
  return decision == EXCEPTION_CONTINUE_EXECUTION ? ExceptionContinueExecution : ExceptionContinueSearch;
}

[[noreturn, gnu::noinline]] void run_start_up_frame() {
  asm volatile(".seh_handler start_up_frame_handler, @except");
  _main();
}
#else
// On a Linux host a fault is a signal, which ends the process as the host does.
[[noreturn]] void run_start_up_frame() { _main(); }
#endif

}  // namespace

void _main() {
  if (init_descriptor_table() != 0) fatal_startup_error();
  init_stream_table();
  SetFileApisToOEM();

  glob_t args{};
  args.gl_capacity = 8;
  args.gl_pathv = static_cast<char**>(malloc(sizeof(char*) * args.gl_capacity));
  if (args.gl_pathv == nullptr) fatal_startup_error();
  args.gl_first = args.gl_pathv;

  char* block = GetEnvironmentStrings();
  ArgumentSource source =
      build_environment(block != nullptr ? block : const_cast<char*>("\0"), GetCommandLineA(), &args);
  if (block != nullptr) FreeEnvironmentStringsA(block);

  if (source == ArgumentSource::command_line) {
    char* command_line = GetCommandLineA();
    CharToOemA(command_line, command_line);
    split_command_line(command_line, store_or_expand, &args);
  }
  args.gl_first[args.gl_pathc] = nullptr;

  exit(main(args.gl_pathc, args.gl_first, environ_));
}

void _cmain() {
  slash_drive_form = 1;
  exit_hook = no_exit_hook;
  run_start_up_frame();
}

}  // namespace zav
