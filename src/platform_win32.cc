// SPDX-License-Identifier: BSD-2-Clause
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <sys/stat.h>
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdio>

#include "platform.h"

// The C runtime opens the standard streams in text mode, which adds a CR
// before every LF written and takes 0x1A as the end of the input. Every
// descriptor here is set to, or opened in, binary mode so that bytes pass
// as they stand.

namespace eolswap::platform {

namespace {

constexpr std::size_t page_size = 4096;

// One read or write of the runtime takes an unsigned int count.
unsigned int io_count(std::size_t size) {
  return size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size);
}

// The system handle of a descriptor when it is a file on a disk (not a
// pipe, console or device), or nullptr.
HANDLE disk_file_handle(int fd) {
  const intptr_t os = _get_osfhandle(fd);
  if (os == -1) return nullptr;
  HANDLE handle = reinterpret_cast<HANDLE>(os);
  return GetFileType(handle) == FILE_TYPE_DISK ? handle : nullptr;
}

// A volume serial number and a file index name one file on Windows, as a
// device and an inode do on POSIX.
FileIdentity identify_handle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  FileIdentity identity;
  if (!GetFileInformationByHandle(handle, &info)) {
    identity.unreadable = true;
    return identity;
  }
  identity.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode =
      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return identity;
}

}  // namespace

// Windows has no SIGPIPE and no signal for a file-size limit: a write to a
// pipe whose reader is gone already fails with an error, which the caller
// reports as a short write. The runtime's descriptors have no non-blocking
// mode either, so reads and writes never need to wait for readiness.
void prepare_process() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

long read_some(int fd, unsigned char* buffer, std::size_t size) {
  return _read(fd, buffer, io_count(size));
}

long write_some(int fd, const unsigned char* data, std::size_t size) {
  return _write(fd, data, io_count(size));
}

int open_input(const char* path) {
  const int fd = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return -1;
  struct _stat64 st;
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) == _S_IFDIR) {
    _close(fd);
    return -1;
  }
  return fd;
}

int open_output(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
}

bool truncate_output(int fd) {
  if (disk_file_handle(fd) == nullptr) return true;
  return _chsize_s(fd, 0) == 0;
}

FileIdentity identify_descriptor(int fd) {
  HANDLE handle = disk_file_handle(fd);
  return handle == nullptr ? FileIdentity{} : identify_handle(handle);
}

// Opening for no access at all reads the identity even of a file that is
// read-only or that another program holds open, and sharing every kind of
// access keeps the open from getting in anybody's way.
FileIdentity identify_path(const char* path) {
  HANDLE handle = CreateFileA(
      path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileIdentity{};
  FileIdentity identity;
  if (GetFileType(handle) == FILE_TYPE_DISK) identity = identify_handle(handle);
  CloseHandle(handle);
  return identity;
}

bool close_fd(int fd) { return _close(fd) == 0; }

unsigned char* allocate_block(std::size_t size) {
  return static_cast<unsigned char*>(_aligned_malloc(size, page_size));
}

void release_block(unsigned char* block) { _aligned_free(block); }

}  // namespace eolswap::platform
