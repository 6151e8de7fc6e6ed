#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "platform.h"

namespace eolswap::platform {

namespace {
constexpr std::size_t page_size = 4096;
}

void prepare_process() {
  // A standard descriptor that the caller closed would be handed out again
  // by the next open, and messages meant for standard error would land in
  // the output file. Holding each closed one with /dev/null prevents that.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", O_RDWR) != fd) break;
  }
  std::signal(SIGPIPE, SIG_IGN);
}

long read_some(int fd, unsigned char* buffer, std::size_t size) {
  return static_cast<long>(::read(fd, buffer, size));
}

long write_some(int fd, const unsigned char* data, std::size_t size) {
  return static_cast<long>(::write(fd, data, size));
}

int open_input(const char* path) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int open_output(const char* path) {
  return ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
}

bool truncate_output(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  // An empty file is left alone: on ext4, truncating a file to zero marks it
  // to be flushed to disk when it is closed (protection for programs that
  // rewrite a file in place), and the close then waits for that.
  if (!S_ISREG(st.st_mode) || st.st_size == 0) return true;
  return ::ftruncate(fd, 0) == 0;
}

bool same_regular_file(int fd_a, int fd_b) {
  struct stat a, b;
  if (::fstat(fd_a, &a) != 0 || ::fstat(fd_b, &b) != 0) return false;
  return S_ISREG(a.st_mode) && S_ISREG(b.st_mode) && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

bool close_fd(int fd) { return ::close(fd) == 0; }

unsigned char* allocate_block(std::size_t size) {
  void* block = nullptr;
  if (::posix_memalign(&block, page_size, size) != 0) return nullptr;
  return static_cast<unsigned char*>(block);
}

void release_block(unsigned char* block) { std::free(block); }

}  // namespace eolswap::platform
