// Volumes are the host's mounts: GetVolumePathNameA finds the mount point that
// holds a path, GetVolumeInformationA describes the file system mounted there.
#include "fs_common.h"

#include "error_mapping.h"
#include "paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace winapi {
namespace {

struct FileSystem {
  unsigned long magic;
  const char* name;
  bool case_sensitive;
};

constexpr FileSystem file_systems[] = {
    {0xEF53, "EXT4", true},        {0x01021994, "TMPFS", true},   {0x9123683E, "BTRFS", true},
    {0x58465342, "XFS", true},     {0x794C7630, "OVERLAY", true}, {0x6969, "NFS", true},
    {0x2FC12FC1, "ZFS", true},     {0xF2F52010, "F2FS", true},    {0x65735546, "FUSE", true},
    {0x01021997, "9P", true},      {0x3153464A, "JFS", true},     {0x52654973, "REISERFS", true},
    {0x4D44, "FAT", false},        {0x2011BAB0, "EXFAT", false},  {0x5346544E, "NTFS", false},
    {0x7366746E, "NTFS", false},   {0x9660, "ISO9660", true},     {0x15013346, "UDF", true},
    {0xFF534D42, "CIFS", false},   {0xFE534D42, "SMB2", false},   {0x73717368, "SQUASHFS", true},
};

// Mount points from /proc/self/mountinfo, whose fields escape blanks in octal.
std::string unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool contains(const std::string& mount, const std::string& path) {
  if (mount == "/") return true;
  return path.starts_with(mount) && (path.size() == mount.size() || path[mount.size()] == '/');
}

// The longest mount point above the real path of the nearest existing ancestor.
std::string mount_point_of(std::string host) {
  char real[PATH_MAX];
  while (!::realpath(host.c_str(), real)) {
    size_t slash = host.rfind('/');
    if (slash == std::string::npos || host == "/") return "/";
    host = slash == 0 ? "/" : host.substr(0, slash);
  }
  std::string path = real;
  std::string best = "/";
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mount;
    if (!(fields >> id >> parent >> device >> root >> mount)) continue;
    mount = unescape(mount);
    if (contains(mount, path) && mount.size() > best.size()) best = mount;
  }
  return best;
}

bool copy_string(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer) return true;
  if (size <= text.size()) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace
}  // namespace winapi

using namespace winapi;

extern "C" {

BOOL WINAPI GetVolumePathNameA(LPCSTR lpszFileName, LPSTR lpszVolumePathName, DWORD cchBufferLength) {
  if (!lpszFileName || !lpszVolumePathName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD error = 0;
  auto full = full_path_name(lpszFileName, &error);
  if (!full) {
    SetLastError(error);
    return FALSE;
  }
  std::string result;
  if (full->size() >= 2 && (*full)[1] == ':') {
    std::string root = full->substr(0, 3);
    int host_error = 0;
    auto drive_root = host_path(root.c_str(), &host_error);
    auto host = host_path(full->c_str(), &host_error);
    result = root;
    if (drive_root && host) {
      std::string mount = mount_point_of(*host);
      std::string base = *drive_root;
      while (base.size() > 1 && base.back() == '/') base.pop_back();
      // A mount below the drive's own root is a volume of its own there.
      if (mount.size() > base.size() && contains(base, mount)) {
        std::string below = mount.substr(base == "/" ? 1 : base.size() + 1);
        for (char& c : below)
          if (c == '/') c = '\\';
        result += below + "\\";
      }
    }
  } else {
    // \\server\share\ is the volume of a network name.
    size_t server_end = full->find('\\', 2);
    size_t share_end = server_end == std::string::npos ? std::string::npos : full->find('\\', server_end + 1);
    result = (share_end == std::string::npos ? *full : full->substr(0, share_end)) + "\\";
  }
  if (!copy_string(result, lpszVolumePathName, cchBufferLength)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer,
                                  DWORD nFileSystemNameSize) {
  std::string root;
  if (lpRootPathName) {
    root = lpRootPathName;
    // Windows wants the root with its separator: "C:\", not "C:".
    if (root.empty() || !is_separator(root.back())) {
      SetLastError(ERROR_INVALID_NAME);
      return FALSE;
    }
  } else {
    root = current_root();
  }
  int host_error = 0;
  auto host = host_path(root.c_str(), &host_error);
  if (!host) return fail(host_error, Call::generic, FALSE);
  struct stat st;
  struct statfs fs;
  if (::stat(host->c_str(), &st) != 0 || ::statfs(host->c_str(), &fs) != 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : win32_error_from_errno(errno, Call::generic));
    return FALSE;
  }
  const char* name = "UNIX";
  bool case_sensitive = true;
  for (const auto& known : file_systems) {
    if (static_cast<unsigned long>(fs.f_type) == known.magic) {
      name = known.name;
      case_sensitive = known.case_sensitive;
    }
  }
  if (!copy_string("", lpVolumeNameBuffer, nVolumeNameSize) ||
      !copy_string(name, lpFileSystemNameBuffer, nFileSystemNameSize)) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (lpVolumeSerialNumber) *lpVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
  if (lpMaximumComponentLength) *lpMaximumComponentLength = fs.f_namelen > 0 ? static_cast<DWORD>(fs.f_namelen) : 255;
  if (lpFileSystemFlags)
    *lpFileSystemFlags = FS_CASE_IS_PRESERVED | (case_sensitive ? FS_CASE_SENSITIVE : 0) |
                         (case_sensitive ? FILE_SUPPORTS_REPARSE_POINTS : 0);
  return TRUE;
}

}  // extern "C"
