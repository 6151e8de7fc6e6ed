// SPDX-License-Identifier: BSD-2-Clause
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform.h"
#include "platform_win32.h"
#include "wide_text.h"
#include "work_name.h"

// The C runtime opens the standard streams in text mode, which adds a CR
// before every LF written and takes 0x1A as the end of the input. Every
// descriptor here is set to, or opened in, binary mode so that bytes pass
// as they stand.
//
// Names travel through the program as the bytes of wide_text.h and reach
// the system through its wide functions only: the ANSI ones would replace
// every character outside the code page.

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

std::string utf8_from_wide(std::wstring_view wide) {
  const std::u16string units(wide.begin(), wide.end());
  std::string text(utf8_bytes_per_unit * units.size(), '\0');
  text.resize(utf8_from_utf16(units.data(), units.size(), text.data()));
  return text;
}

std::wstring wide_from_utf8(std::string_view text) {
  std::u16string units(text.size(), u'\0');
  units.resize(utf16_from_utf8(text.data(), text.size(), units.data()));
  return std::wstring(units.begin(), units.end());
}

}  // namespace

char** utf8_arguments(int argc, wchar_t* argv[]) {
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  // Reserved up front, so that no text moves once its address is taken.
  texts.reserve(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    texts.push_back(utf8_from_wide(argv[i]));
    pointers.push_back(texts.back().data());
  }
  pointers.push_back(nullptr);
  return pointers.data();
}

// A path that does not fit in MAX_PATH units opens only in the \\?\ form, which
// the system hands to the file system as it stands: absolute, with backslashes
// alone, and nothing resolved. GetFullPathNameW resolves . and .. and the
// separators as an ordinary open would, so both forms name the same file;
// shorter paths keep their ordinary form.
std::wstring system_path(const char* path) {
  const std::wstring wide = wide_from_utf8(path);
  if (wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) return wide;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size < MAX_PATH) return wide;
  std::wstring full(size, L'\0');
  const DWORD length =
      GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return wide;
  full.resize(length);
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC" + full.substr(1);
  return L"\\\\?\\" + full;
}

// Windows has no SIGPIPE and no signal for a file-size limit: a write to a
// pipe whose reader is gone already fails with an error, which the caller
// reports as a short write. The runtime's descriptors have no non-blocking
// mode either, so reads and writes never need to wait for readiness.
void prepare_process() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

// A pipe in message mode hands over one message per read; when the message
// does not fit, the read fails with ERROR_MORE_DATA after filling the
// buffer, and the rest stays in the pipe for the next read. The runtime's
// _read takes that as a failure, so pipes are read here. A writer that has
// gone is the end of the input.
long read_some(int fd, unsigned char* buffer, std::size_t size) {
  const intptr_t os = _get_osfhandle(fd);
  HANDLE handle = reinterpret_cast<HANDLE>(os);
  if (os == -1 || GetFileType(handle) != FILE_TYPE_PIPE)
    return _read(fd, buffer, io_count(size));
  DWORD got = 0;
  if (ReadFile(handle, buffer, io_count(size), &got, nullptr) ||
      GetLastError() == ERROR_MORE_DATA)
    return static_cast<long>(got);
  if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
  errno = EIO;
  return -1;
}

// Message-mode pipes keep what a read leaves (read_some), and the
// runtime's descriptors are no sockets.
bool reads_whole_packets(int) { return false; }

long write_some(int fd, const unsigned char* data, std::size_t size) {
  return _write(fd, data, io_count(size));
}

int open_input(const char* path) {
  const int fd =
      _wopen(system_path(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return -1;
  struct _stat64 st;
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) == _S_IFDIR) {
    _close(fd);
    return -1;
  }
  return fd;
}

int open_output(const char* path) {
  return _wopen(system_path(path).c_str(),
                _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                _S_IREAD | _S_IWRITE);
}

bool truncate_output(int fd) {
  if (disk_file_handle(fd) == nullptr) return true;
  return _chsize_s(fd, 0) == 0;
}

FileIdentity identify_descriptor(int fd) {
  HANDLE handle = disk_file_handle(fd);
  if (handle == nullptr) return FileIdentity{};
  FileIdentity identity = identify_handle(handle);
  // Wine hands the program the files of a POSIX shell's redirections as
  // disk files whose information cannot be read. Failing closed there would
  // refuse every redirected run; such a standard descriptor counts as no
  // file, as it did before identities could be unreadable. The files the
  // program opens itself still fail closed.
  if (fd <= 2 && identity.unreadable) return FileIdentity{};
  return identity;
}

// Opening for no access at all reads the identity even of a file that is
// read-only or that another program holds open, and sharing every kind of
// access keeps the open from getting in anybody's way.
FileIdentity identify_path(const char* path) {
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileIdentity{};
  FileIdentity identity;
  if (GetFileType(handle) == FILE_TYPE_DISK) identity = identify_handle(handle);
  CloseHandle(handle);
  return identity;
}

bool close_fd(int fd) { return _close(fd) == 0; }

int open_existing_output(const char* path) {
  return _wopen(system_path(path).c_str(),
                _O_WRONLY | _O_BINARY | _O_NOINHERIT);
}

std::int64_t rewind_fd(int fd) {
  const __int64 at = _lseeki64(fd, 0, SEEK_CUR);
  if (at < 0 || _lseeki64(fd, 0, SEEK_SET) != 0) return -1;
  return at;
}

// The runtime's _commit is FlushFileBuffers on the descriptor's handle.
bool sync_fd(int fd) { return _commit(fd) == 0; }

bool set_file_length(int fd, std::uint64_t length) {
  return length <= INT64_MAX &&
         _chsize_s(fd, static_cast<__int64>(length)) == 0;
}

long copy_in_kernel(int, int, std::size_t) { return copy_unsupported; }

namespace {

// The working file is written under its name with ".part" added and
// renamed, never over another file, once it is complete: Windows has no
// nameless files. Paths are kept as bytes (wide_text.h) for the messages.
std::string real_path;
std::string part_path;
std::string work_path;
enum WorkName { work_none, work_partial, work_kept } work_name = work_none;

constexpr unsigned name_attempts = 100;

bool name_work_file(std::string* path, unsigned attempt, const char* suffix) {
  path->assign(real_path.size() + 64, '\0');
  if (!format_work_name(path->data(), path->size(), real_path.c_str(),
                        static_cast<long>(GetCurrentProcessId()), attempt,
                        suffix))
    return false;
  path->resize(std::strlen(path->c_str()));
  return true;
}

// The path of the file itself, through links, without the \\?\ that the
// system puts before it; the path as given where the system cannot say.
void find_real_path(const char* path) {
  real_path = path;
  HANDLE handle =
      CreateFileW(system_path(path).c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  std::wstring final_path(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(
      handle, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  CloseHandle(handle);
  if (length == 0 || length >= final_path.size()) return;
  std::wstring_view shown(final_path.data(), length);
  std::string prefix;
  if (shown.starts_with(L"\\\\?\\UNC\\")) {
    prefix = "\\\\";
    shown.remove_prefix(8);
  } else if (shown.starts_with(L"\\\\?\\")) {
    shown.remove_prefix(4);
  }
  real_path = prefix + utf8_from_wide(shown);
}

}  // namespace

int create_work_file(const char* path) {
  work_name = work_none;
  find_real_path(path);
  for (unsigned attempt = 0; attempt < name_attempts; ++attempt) {
    if (!name_work_file(&part_path, attempt, ".part")) return -1;
    const std::wstring wide = system_path(part_path.c_str());
    // Shared for deleting, so that the file can be renamed while open.
    HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (fd < 0) {
      CloseHandle(handle);
      DeleteFileW(wide.c_str());
      return -1;
    }
    _setmode(fd, _O_BINARY);
    work_name = work_partial;
    return fd;
  }
  return -1;
}

bool keep_work_file(int fd) {
  if (_commit(fd) != 0 || work_name != work_partial) return false;
  for (unsigned attempt = 0; attempt < name_attempts; ++attempt) {
    if (!name_work_file(&work_path, attempt, "")) return false;
    if (MoveFileExW(system_path(part_path.c_str()).c_str(),
                    system_path(work_path.c_str()).c_str(),
                    MOVEFILE_WRITE_THROUGH)) {
      work_name = work_kept;
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
      return false;
  }
  return false;
}

const char* work_file_name() { return work_path.c_str(); }

bool remove_work_file() {
  if (work_name == work_none) return true;
  const std::string& path = work_name == work_kept ? work_path : part_path;
  if (!DeleteFileW(system_path(path.c_str()).c_str())) return false;
  work_name = work_none;
  return true;
}

unsigned char* allocate_block(std::size_t size) {
  return static_cast<unsigned char*>(_aligned_malloc(size, page_size));
}

void release_block(unsigned char* block) { _aligned_free(block); }

// A console shows bytes as characters of its own code page, so a message is
// handed to it as the characters themselves; a pipe or a file gets the
// bytes, which are UTF-8.
ConsoleWrite write_console(const char* text, std::size_t size) {
  const intptr_t os = _get_osfhandle(_fileno(stderr));
  HANDLE console = reinterpret_cast<HANDLE>(os);
  DWORD mode;
  if (os == -1 || !GetConsoleMode(console, &mode))
    return ConsoleWrite::not_console;
  const std::wstring wide = wide_from_utf8(std::string_view(text, size));
  // Older consoles refuse long writes; a piece ends before a high
  // surrogate, never between the two halves of a pair.
  constexpr std::size_t piece = 8192;
  for (std::size_t at = 0; at < wide.size();) {
    std::size_t n = std::min(piece, wide.size() - at);
    if (at + n < wide.size() && wide[at + n - 1] >= 0xD800 &&
        wide[at + n - 1] <= 0xDBFF)
      --n;
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(n),
                       &written, nullptr) ||
        written == 0)
      return ConsoleWrite::failed;
    at += written;
  }
  return ConsoleWrite::written;
}

}  // namespace eolswap::platform
