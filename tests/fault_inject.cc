// SPDX-License-Identifier: BSD-2-Clause
// A preload library that makes chosen system calls of the program fail, so
// that the tests can watch it meet faults that a working system never shows:
//
//   LD_PRELOAD=libfault_inject.so FAULT_READ_FAIL_AT=2 eolswap ...
//
// Only calls on the watched descriptors count (FAULT_IN_FD, default 0, and
// FAULT_OUT_FD, default 1), so the dynamic loader's and the C library's own
// calls never shift the numbers. Calls are counted from 1.
//
//   FAULT_READ_FAIL_AT=N    the Nth read of the input fails with EIO
//   FAULT_READ_EINTR_AT=N   the Nth read of the input is interrupted (EINTR)
//   FAULT_READ_CHUNK=K      every read of the input delivers at most K bytes
//   FAULT_WRITE_FAIL_AT=N   the Nth write of the output fails with EIO
//   FAULT_WRITE_SHORT_AT=N  the Nth write of the output takes half its bytes,
//                           and every later one fails with ENOSPC (a full disk)
//   FAULT_WRITE_EINTR_AT=N  the Nth write of the output is interrupted (EINTR)
//   FAULT_WRITE_CHUNK=K     every write of the output takes at most K bytes
//   FAULT_CLOSE_FAIL_FD=F   closing descriptor F closes it but reports EIO
//   FAULT_FSYNC_FAIL_FD=F   every fsync of descriptor F fails with EIO
//   FAULT_ALLOC_FAIL_AT=N   the Nth posix_memalign fails with ENOMEM
//   FAULT_FSTAT_FAIL_AT=N   the Nth fstat of the input fails with EIO, or
//                           with FAULT_FSTAT_ERRNO=EOVERFLOW (what a 32-bit
//                           stat gives for a large inode number)
//   FAULT_NO_TMPFILE=1      opening a nameless file fails with EOPNOTSUPP, as
//                           on a file system that has none
//   FAULT_OPEN_ABSENT=PATH  opening PATH fails with ENOENT, as in a sandbox
//                           whose /dev is empty
//
// The program is built with 64-bit file offsets, so it calls open and fstat
// by their 64-bit names on every system, and only those are replaced.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstddef>

namespace {

long setting(const char* name, long fallback) {
  const char* value = getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  return strtol(value, nullptr, 10);
}

// By name, since the numbers differ between systems.
int error_setting(const char* name) {
  const char* value = getenv(name);
  return value != nullptr && strcmp(value, "EOVERFLOW") == 0 ? EOVERFLOW : EIO;
}

struct Faults {
  long in_fd = setting("FAULT_IN_FD", 0);
  long out_fd = setting("FAULT_OUT_FD", 1);
  long read_fail_at = setting("FAULT_READ_FAIL_AT", 0);
  long read_eintr_at = setting("FAULT_READ_EINTR_AT", 0);
  long read_chunk = setting("FAULT_READ_CHUNK", 0);
  long write_fail_at = setting("FAULT_WRITE_FAIL_AT", 0);
  long write_short_at = setting("FAULT_WRITE_SHORT_AT", 0);
  long write_eintr_at = setting("FAULT_WRITE_EINTR_AT", 0);
  long write_chunk = setting("FAULT_WRITE_CHUNK", 0);
  long close_fail_fd = setting("FAULT_CLOSE_FAIL_FD", -1);
  long fsync_fail_fd = setting("FAULT_FSYNC_FAIL_FD", -1);
  long alloc_fail_at = setting("FAULT_ALLOC_FAIL_AT", 0);
  long fstat_fail_at = setting("FAULT_FSTAT_FAIL_AT", 0);
  int fstat_errno = error_setting("FAULT_FSTAT_ERRNO");
  const char* open_absent = getenv("FAULT_OPEN_ABSENT");
  long no_tmpfile = setting("FAULT_NO_TMPFILE", 0);
  long reads = 0, writes = 0, allocs = 0, fstats = 0;
  bool disk_full = false;
};

Faults& faults() {
  static Faults f;
  return f;
}

template <typename F>
F next_definition(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

std::size_t at_most(std::size_t count, long limit) {
  if (limit > 0 && count > static_cast<std::size_t>(limit))
    return static_cast<std::size_t>(limit);
  return count;
}

ssize_t faulty_read(int fd, void* buf, std::size_t count) {
  using Read = ssize_t (*)(int, void*, std::size_t);
  static const Read real = next_definition<Read>("read");
  Faults& f = faults();
  if (fd != f.in_fd) return real(fd, buf, count);
  const long call = ++f.reads;
  if (call == f.read_fail_at) {
    errno = EIO;
    return -1;
  }
  if (call == f.read_eintr_at) {
    errno = EINTR;
    return -1;
  }
  return real(fd, buf, at_most(count, f.read_chunk));
}

bool absent(const char* path) {
  const char* name = faults().open_absent;
  return name != nullptr && path != nullptr && strcmp(path, name) == 0;
}

// The mode argument is there only when the flags create a file.
mode_t mode_of(int flags, va_list arguments) {
  if ((flags & O_CREAT) == 0 && (flags & O_TMPFILE) != O_TMPFILE) return 0;
  return static_cast<mode_t>(va_arg(arguments, unsigned int));
}

using OpenCall = int (*)(const char*, int, ...);

int faulty_open(OpenCall real, const char* path, int flags, mode_t mode) {
  if (absent(path)) {
    errno = ENOENT;
    return -1;
  }
  if (faults().no_tmpfile != 0 && (flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return real(path, flags, mode);
}

// True when this fstat of fd is the one to fail.
bool fstat_fails(int fd) {
  Faults& f = faults();
  if (fd != f.in_fd || ++f.fstats != f.fstat_fail_at) return false;
  errno = f.fstat_errno;
  return true;
}

}  // namespace

extern "C" {

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_of(flags, arguments);
  va_end(arguments);
  static const OpenCall real = next_definition<OpenCall>("open64");
  return faulty_open(real, path, flags, mode);
}

// What a fortified build calls in place of open without a mode.
int __open64_2(const char* path, int flags) {
  static const OpenCall real = next_definition<OpenCall>("open64");
  return faulty_open(real, path, flags, 0);
}

int fstat64(int fd, struct stat64* st) {
  using Fstat64 = int (*)(int, struct stat64*);
  static const Fstat64 real = next_definition<Fstat64>("fstat64");
  return fstat_fails(fd) ? -1 : real(fd, st);
}

ssize_t read(int fd, void* buf, std::size_t count) {
  return faulty_read(fd, buf, count);
}

// What a fortified build calls in place of read.
ssize_t __read_chk(int fd, void* buf, std::size_t count, std::size_t) {
  return faulty_read(fd, buf, count);
}

ssize_t write(int fd, const void* buf, std::size_t count) {
  using Write = ssize_t (*)(int, const void*, std::size_t);
  static const Write real = next_definition<Write>("write");
  Faults& f = faults();
  if (fd != f.out_fd) return real(fd, buf, count);
  const long call = ++f.writes;
  if (f.disk_full) {
    errno = ENOSPC;
    return -1;
  }
  if (call == f.write_fail_at) {
    errno = EIO;
    return -1;
  }
  if (call == f.write_eintr_at) {
    errno = EINTR;
    return -1;
  }
  if (call == f.write_short_at) {
    f.disk_full = true;
    return real(fd, buf, count / 2);
  }
  return real(fd, buf, at_most(count, f.write_chunk));
}

int close(int fd) {
  using Close = int (*)(int);
  static const Close real = next_definition<Close>("close");
  const int result = real(fd);
  if (fd == faults().close_fail_fd) {
    errno = EIO;
    return -1;
  }
  return result;
}

int fsync(int fd) {
  using Fsync = int (*)(int);
  static const Fsync real = next_definition<Fsync>("fsync");
  if (fd != faults().fsync_fail_fd) return real(fd);
  errno = EIO;
  return -1;
}

int posix_memalign(void** block, std::size_t alignment,
                   std::size_t size) noexcept {
  using Memalign = int (*)(void**, std::size_t, std::size_t);
  static const Memalign real = next_definition<Memalign>("posix_memalign");
  if (++faults().allocs == faults().alloc_fail_at) return ENOMEM;
  return real(block, alignment, size);
}

}  // extern "C"
