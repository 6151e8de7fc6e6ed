#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <sys/stat.h>
#include <windows.h>

#include <climits>
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

}  // namespace

// Windows has no SIGPIPE: a write to a pipe whose reader is gone already
// fails with an error, which the caller reports as a short write.
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

// A volume serial number and a file index name one file on Windows, as a
// device and an inode do on POSIX; every path and hard link to the file
// gives the same pair.
bool same_regular_file(int fd_a, int fd_b) {
  HANDLE a = disk_file_handle(fd_a);
  HANDLE b = disk_file_handle(fd_b);
  if (a == nullptr || b == nullptr) return false;
  BY_HANDLE_FILE_INFORMATION info_a, info_b;
  if (!GetFileInformationByHandle(a, &info_a) ||
      !GetFileInformationByHandle(b, &info_b))
    return false;
  return info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
         info_a.nFileIndexHigh == info_b.nFileIndexHigh &&
         info_a.nFileIndexLow == info_b.nFileIndexLow;
}

bool close_fd(int fd) { return _close(fd) == 0; }

unsigned char* allocate_block(std::size_t size) {
  return static_cast<unsigned char*>(_aligned_malloc(size, page_size));
}

void release_block(unsigned char* block) { _aligned_free(block); }

}  // namespace eolswap::platform
