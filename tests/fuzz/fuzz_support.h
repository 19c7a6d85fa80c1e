// What the fuzz targets share: the runtime's tables made once, its standard
// error pointed at the null device, and a scratch directory of the target's own.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

#include <zav/startup.h>
#include <zav/stdio.h>
#include <zav/unistd.h>

namespace fuzz {

// A finding of a target's own check: libFuzzer reports the abort with the input.
#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

inline void start_runtime() {
  static bool started = false;
  if (started) return;
  started = true;
  // The runtime's diagnostics go to the null device, libFuzzer's to the terminal.
  HANDLE null_device = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  if (null_device != INVALID_HANDLE_VALUE) SetStdHandle(STD_ERROR_HANDLE, null_device);
  if (zav::init_descriptor_table() != 0) std::abort();
  zav::init_stream_table();
}

// A fresh directory, in memory where the system offers it (a target that writes
// a file for each input would otherwise wait for the disk), removed at exit.
inline std::filesystem::path scratch_directory(const char* name) {
  static std::vector<std::filesystem::path>* made = nullptr;
  std::error_code error;
  const bool in_memory = std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0;
  const auto parent = in_memory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
  const auto path = parent / (std::string("zav-fuzz-") + name + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  if (made == nullptr) {
    made = new std::vector<std::filesystem::path>;
    std::atexit([] {
      std::error_code ignored;
      for (const auto& p : *made) std::filesystem::remove_all(p, ignored);
    });
  }
  made->push_back(path);
  return path;
}

// An environment of the target's own for the runtime's getenv.
class Environment {
 public:
  void set(std::vector<std::string> entries) {
    strings_ = std::move(entries);
    pointers_.clear();
    for (auto& s : strings_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
    zav::environ_ = pointers_.data();
  }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

}  // namespace fuzz
