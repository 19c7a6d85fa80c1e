// Another program's rename, for the tests of walks under Windows:
//
//   rename_directory FROM TO
//
// renames FROM to TO with MoveFileExW and writes the error it got (0 when the
// rename was made).
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

std::wstring wide(const char* name) {
  int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, name, -1, out.data(), n);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rename_directory FROM TO\n");
    return 2;
  }
  DWORD error = MoveFileExW(wide(argv[1]).c_str(), wide(argv[2]).c_str(), 0) ? 0 : GetLastError();
  std::printf("%lu\n", error);
  return 0;
}
