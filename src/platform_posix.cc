// SPDX-License-Identifier: BSD-2-Clause
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/loop.h>
#include <linux/major.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#endif

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform.h"
#include "work_name.h"

namespace eolswap::platform {

namespace {

constexpr std::size_t page_size = 4096;

// Some runtimes start their children with pipes in non-blocking mode. There
// a read or write that would have to wait fails with "try again" instead,
// which is no failure of the stream.
bool would_block(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Waits until fd is ready for the events; false when poll itself fails.
bool wait_until_ready(int fd, short events) {
  pollfd watched{fd, events, 0};
  while (::poll(&watched, 1, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

FileIdentity identity_of(const struct stat& st) {
  FileIdentity identity;
  identity.regular = S_ISREG(st.st_mode);
  identity.device = static_cast<std::uint64_t>(st.st_dev);
  identity.inode = static_cast<std::uint64_t>(st.st_ino);
  // Every node of a block device, in /dev or anywhere else, leads to the
  // same bytes; what they share is the number of the device itself.
  if (S_ISBLK(st.st_mode)) {
    identity.block_device = true;
    identity.device = static_cast<std::uint64_t>(st.st_rdev);
    identity.inode = 0;
  }
  return identity;
}

#if defined(__linux__)
// Reads a file of /sys, a line of text, into text; false when there is none.
bool read_sys_text(const char* folder, const char* file, char* text, int size) {
  char path[96];
  std::snprintf(path, sizeof path, "%s/%s", folder, file);
  std::FILE* f = std::fopen(path, "re");
  if (f == nullptr) return false;
  const bool read = std::fgets(text, size, f) != nullptr;
  std::fclose(f);
  return read;
}

// A device number as /sys writes it, "MAJ:MIN".
bool parse_device_number(const char* text, dev_t* number) {
  char* end = nullptr;
  const unsigned long major_number = std::strtoul(text, &end, 10);
  if (end == text || *end != ':') return false;
  const char* minor_text = end + 1;
  const unsigned long minor_number = std::strtoul(minor_text, &end, 10);
  if (end == minor_text) return false;
  *number = makedev(static_cast<unsigned>(major_number),
                    static_cast<unsigned>(minor_number));
  return true;
}
#endif

// What a block device holds besides itself. Linux tells the disk and the
// range of a partition in /sys/dev/block/MAJ:MIN, whose parent folder is
// the whole disk, in sectors of 512 bytes; and the backing file of a loop
// device, asked of the device or of one of its partitions, through
// LOOP_GET_STATUS64. Only a loop device is asked, since other drivers give
// the request number meanings of their own. fd is an open descriptor of
// the device, or -1 when none could be had.
void describe_block_device(int fd, FileIdentity* identity) {
#if defined(__linux__)
  const auto number = static_cast<dev_t>(identity->device);
  char folder[64];
  std::snprintf(folder, sizeof folder, "/sys/dev/block/%u:%u", major(number),
                minor(number));
  dev_t disk_number = number;
  char partition[32], start[32], sectors[32], disk[32];
  if (read_sys_text(folder, "partition", partition, sizeof partition) &&
      read_sys_text(folder, "start", start, sizeof start) &&
      read_sys_text(folder, "size", sectors, sizeof sectors) &&
      read_sys_text(folder, "../dev", disk, sizeof disk) &&
      parse_device_number(disk, &disk_number)) {
    identity->disk = disk_number;
    identity->start = std::strtoull(start, nullptr, 10) * 512;
    identity->size = std::strtoull(sectors, nullptr, 10) * 512;
  }
  loop_info64 info{};
  if (fd >= 0 && major(disk_number) == LOOP_MAJOR &&
      ::ioctl(fd, LOOP_GET_STATUS64, &info) == 0) {
    identity->backed = true;
    identity->backing_device = info.lo_device;
    identity->backing_inode = info.lo_inode;
  }
#else
  (void)fd;
  (void)identity;
#endif
}

// A file opened while a standard descriptor is closed and cannot be held
// (no /dev/null in a sandbox, a descriptor table nearly full) would take
// that number, and a message meant for standard error would be written into
// it. Such a descriptor is moved above the three; when it cannot be, the
// open fails.
int above_standard_numbers(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

}  // namespace

void prepare_process() {
  // A standard descriptor that the caller closed would be handed out again
  // by the next open, and messages meant for standard error would land in
  // the output file. Each closed one is held with /dev/null, opened so that
  // it still fails as a closed one does: write-only on standard input, so
  // that the first read fails instead of finding an empty input, and
  // read-only on standard output and standard error, so that every write
  // fails instead of vanishing. Where /dev/null cannot be opened the
  // descriptor stays closed, and the opens below keep off its number.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    if (::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY) != fd) break;
  }
  std::signal(SIGPIPE, SIG_IGN);
  // A write past the file-size limit (ulimit -f) then fails with EFBIG,
  // after the bytes that still fit, and counts as a short write.
  std::signal(SIGXFSZ, SIG_IGN);
}

long read_some(int fd, unsigned char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd, buffer, size);
    if (got >= 0 || !would_block(errno) || !wait_until_ready(fd, POLLIN))
      return static_cast<long>(got);
  }
}

long write_some(int fd, const unsigned char* data, std::size_t size) {
  for (;;) {
    const ssize_t put = ::write(fd, data, size);
    if (put >= 0 || !would_block(errno) || !wait_until_ready(fd, POLLOUT))
      return static_cast<long>(put);
  }
}

int open_input(const char* path) {
  const int fd = above_standard_numbers(::open(path, O_RDONLY | O_CLOEXEC));
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int open_output(const char* path) {
  return above_standard_numbers(
      ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
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

bool reads_whole_packets(int fd) {
  int type = 0;
  socklen_t length = sizeof type;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0)
    return type != SOCK_STREAM;
#if defined(O_DIRECT)
  // A pipe created in packet mode shows it in the flags of both its ends.
  struct stat st;
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && (flags & O_DIRECT) != 0 && ::fstat(fd, &st) == 0 &&
         S_ISFIFO(st.st_mode);
#else
  return false;
#endif
}

FileIdentity identify_descriptor(int fd) {
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    FileIdentity identity = identity_of(st);
    if (identity.block_device) describe_block_device(fd, &identity);
    return identity;
  }
  // A closed descriptor is no file at all; any other failure leaves open
  // which file the descriptor is.
  FileIdentity identity;
  identity.unreadable = errno != EBADF;
  return identity;
}

// A block device is opened for reading alone, which changes none of its
// bytes, to ask what it holds.
FileIdentity identify_path(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return FileIdentity{};
  FileIdentity identity = identity_of(st);
  if (identity.block_device) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    describe_block_device(fd, &identity);
    if (fd >= 0) ::close(fd);
  }
  return identity;
}

// A terminal here takes bytes, and names are printed as they came.
ConsoleWrite write_console(const char*, std::size_t) {
  return ConsoleWrite::not_console;
}

bool close_fd(int fd) { return ::close(fd) == 0; }

unsigned char* allocate_block(std::size_t size) {
  void* block = nullptr;
  if (::posix_memalign(&block, page_size, size) != 0) return nullptr;
  return static_cast<unsigned char*>(block);
}

void release_block(unsigned char* block) { std::free(block); }

int open_existing_output(const char* path) {
  return above_standard_numbers(::open(path, O_WRONLY | O_CLOEXEC));
}

std::int64_t rewind_fd(int fd) {
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  if (at < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return -1;
  return static_cast<std::int64_t>(at);
}

bool sync_fd(int fd) { return ::fsync(fd) == 0; }

bool set_file_length(int fd, std::uint64_t length) {
  return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

long copy_in_kernel(int from, int to, std::size_t size) {
#if defined(__linux__)
  for (;;) {
    const ssize_t copied =
        ::copy_file_range(from, nullptr, to, nullptr, size, 0);
    if (copied >= 0) return static_cast<long>(copied);
    if (errno == EINTR) continue;
    // Files on two file systems, or a system or file system that does not
    // copy this way.
    if (errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == ENOSYS)
      return copy_unsupported;
    return -1;
  }
#else
  (void)from, (void)to, (void)size;
  return copy_unsupported;
#endif
}

namespace {

// The working file: the real path of the file it belongs to, the folder
// both lie in, and the paths of the working file: the one it has while it
// is written, where it cannot be nameless, and the one it is kept under.
char real_path[PATH_MAX];
char part_path[PATH_MAX];
char work_path[PATH_MAX];
int work_folder = -1;
enum WorkName { work_nameless, work_partial, work_kept } work_name;

bool name_work_file(char* path, unsigned attempt, const char* suffix) {
  return format_work_name(path, PATH_MAX, real_path,
                          static_cast<long>(::getpid()), attempt, suffix);
}

// Names that a run killed earlier left in place are passed over.
constexpr unsigned name_attempts = 100;

}  // namespace

int create_work_file(const char* path) {
  work_name = work_nameless;
  if (::realpath(path, real_path) == nullptr) return -1;
  char folder[PATH_MAX];
  std::memcpy(folder, real_path, sizeof folder);
  char* slash = std::strrchr(folder, '/');
  if (slash == nullptr) return -1;
  slash[slash == folder ? 1 : 0] = '\0';
  work_folder = above_standard_numbers(
      ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (work_folder < 0) return -1;
#ifdef O_TMPFILE
  // A nameless file is named later through /proc. Without /proc, or on a
  // file system that has no nameless files, it is written under a name
  // that says it is not complete, and renamed once it is.
  if (::access("/proc/self/fd", X_OK) == 0) {
    const int fd = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return above_standard_numbers(fd);
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
  }
#endif
  for (unsigned attempt = 0; attempt < name_attempts; ++attempt) {
    if (!name_work_file(part_path, attempt, ".part")) return -1;
    const int fd =
        ::open(part_path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      work_name = work_partial;
      return above_standard_numbers(fd);
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool keep_work_file(int fd) {
  if (::fsync(fd) != 0) return false;
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  // A link, unlike a rename, never replaces a copy that another run kept.
  for (unsigned attempt = 0; work_name != work_kept && attempt < name_attempts;
       ++attempt) {
    if (!name_work_file(work_path, attempt, "")) return false;
    const int linked =
        work_name == work_partial
            ? ::link(part_path, work_path)
            : ::linkat(AT_FDCWD, self, AT_FDCWD, work_path, AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno != EEXIST) return false;
    if (linked != 0) continue;
    if (work_name == work_partial) static_cast<void>(::unlink(part_path));
    work_name = work_kept;
  }
  return work_name == work_kept && ::fsync(work_folder) == 0;
}

const char* work_file_name() { return work_path; }

bool remove_work_file() {
  if (work_name == work_nameless) return true;
  if (::unlink(work_name == work_kept ? work_path : part_path) != 0)
    return false;
  work_name = work_nameless;
  // The file it belongs to is durable already; should the removal be lost
  // in a crash, a second copy of the new content comes back, nothing worse.
  static_cast<void>(::fsync(work_folder));
  return true;
}

}  // namespace eolswap::platform
