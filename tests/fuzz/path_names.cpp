// Path normalisation and absolute names: drive forms, //server/share, runs of
// separators, under code pages 65001 and 932, into buffers of every size from
// 250 to 263 bytes (and a few tiny ones), each exactly as large as it says.
#include <cstring>
#include <memory>

#include <winapi_settings.h>

#include <zav/path.h>

#include "fuzz_support.h"

namespace {

constexpr const char* bases[] = {nullptr, "", "c:/base", "//srv/shr", "//srv/shr/dir", "z:/tmp", "c:", "abc"};

std::unique_ptr<char[]> copy_of(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::start_runtime();
  if (size < 2) return 0;
  WinapiSetCodePage((data[0] & 1) != 0 ? 932 : 65001);
  zav::slash_drive_form = (data[0] & 2) != 0 ? 1 : 0;
  const char* base = bases[(data[0] >> 2) % (sizeof bases / sizeof bases[0])];
  const std::size_t sizes[] = {0, 1, 2, 3, 250, 251, 252, 253, 254, 255, 256, 257, 258, 259, 260, 261, 262, 263};
  const std::size_t buffer_size = sizes[data[1] % (sizeof sizes / sizeof sizes[0])];
  const std::string path(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string text = path.substr(0, path.find('\0'));

  auto normalised = copy_of(text);
  zav::normalise_path(normalised.get());
  FUZZ_CHECK(std::strlen(normalised.get()) <= text.size());
  const int root = zav::root_prefix_length(normalised.get());
  FUZZ_CHECK(root >= -1 && root <= static_cast<int>(std::strlen(normalised.get())));
  auto drive_form = copy_of(text);
  zav::convert_drive_form_only(drive_form.get());

  auto input = copy_of(text);
  std::unique_ptr<char[]> buffer(new char[buffer_size == 0 ? 1 : buffer_size]);
  if (zav::absolute_name(base, input.get(), buffer.get(), buffer_size) == 0) {
    const std::string result = buffer.get();
    FUZZ_CHECK(result.size() < buffer_size);
    FUZZ_CHECK(zav::root_prefix_length(result.c_str()) >= 0 || result == "/");
    // An absolute name is its own absolute name; with the drive form on, though,
    // //=/ reads as the drive form of the drive '/'.
    if (result == "/" || zav::slash_drive_form) return 0;
    auto again = copy_of(result);
    std::unique_ptr<char[]> second(new char[buffer_size]);
    if (zav::absolute_name(nullptr, again.get(), second.get(), buffer_size) == 0) FUZZ_CHECK(result == second.get());
  }
  return 0;
}
