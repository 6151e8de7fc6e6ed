// SPDX-License-Identifier: BSD-2-Clause
#ifndef EOLSWAP_PLATFORM_H_
#define EOLSWAP_PLATFORM_H_

#include <cstddef>
#include <cstdint>

#include "file_identity.h"

// The little that differs between systems: descriptors, file identity,
// binary mode, signals and aligned blocks. Everything else in the
// program is plain standard C++.
namespace eolswap::platform {

// Puts the standard streams into binary mode, holds each standard
// descriptor that the caller closed so that it keeps failing as a closed
// one, and keeps a write to a closed pipe or past the file-size limit from
// killing the process, so that it fails like any other write.
void prepare_process();

// read(2) and write(2): a count, 0 at the end of the input, or -1 with errno.
// A descriptor in non-blocking mode is waited for until it is ready, so a
// "try again" never comes back: the caller sees what a blocking descriptor
// gives.
long read_some(int fd, unsigned char* buffer, std::size_t size);
long write_some(int fd, const unsigned char* data, std::size_t size);

// True when each read of fd takes one whole packet and the system drops
// what does not fit the count asked for: a datagram or sequenced-packet
// socket, or a pipe in packet mode. Blocks of a fixed size cannot be filled
// from such an input without losing bytes.
bool reads_whole_packets(int fd);

// Opens a file for reading bytes as they stand. Returns -1 when it cannot be
// opened or names a directory. Neither this nor open_output ever returns 0, 1
// or 2, whichever standard descriptors are closed.
int open_input(const char* path);

// Opens (creating if needed) a file for writing without truncating it; the
// caller empties it with truncate_output once it knows that this is safe.
int open_output(const char* path);

// Empties a regular file opened by open_output; other files are left as they
// are. Returns false on failure.
bool truncate_output(int fd);

// Opens an existing file for writing, neither creating nor truncating it.
// Returns -1 when it cannot be opened so.
int open_existing_output(const char* path);

// Sets the offset of fd to 0 and returns the offset it had, or -1.
std::int64_t rewind_fd(int fd);

// Waits until the data of fd is on the disk (fsync). False on failure, which
// is not retried: the data may have been dropped from memory.
bool sync_fd(int fd);

// Cuts or extends the file of fd to length bytes.
bool set_file_length(int fd, std::uint64_t length);

// Copies up to size bytes from the offset of from to the offset of to
// inside the kernel, moving both. Returns the count, 0 at the end of from,
// -1 on failure, or copy_unsupported when the system copies no bytes between
// these two files this way; the caller then reads and writes the rest.
constexpr long copy_unsupported = -2;
long copy_in_kernel(int from, int to, std::size_t size);

// The working file of a conversion in place, one per run: created in the
// folder that holds the file at path (the target's folder for a symbolic
// link), readable and writable by its owner alone, and nameless where the
// system allows it, so that a run that stops early leaves nothing behind.
// Returns its descriptor, or -1 when it cannot be made there.
int create_work_file(const char* path);

// Makes the working file durable under a name of its own beside the file:
// its data synced, its name given and the folder synced. False on failure.
bool keep_work_file(int fd);

// The working file's path for messages, once it has a name.
const char* work_file_name();

// Removes the working file's name, if it has one, and syncs the folder.
// False when the name stays.
bool remove_work_file();

// The identity of an open descriptor, and of the file that a path names
// (through symbolic links, as opening it does). A closed descriptor and a
// path that names no file give no file; a descriptor whose identity the
// system fails to give is unreadable. A path that cannot be looked up is
// taken as no file, since the descriptor that opening it gives is compared
// once more before anything is emptied.
FileIdentity identify_descriptor(int fd);
FileIdentity identify_path(const char* path);

// How write_console handled a message.
enum class ConsoleWrite { not_console, written, failed };

// Hands text[0..size) to standard error as the characters it spells when
// that is a console that would show the bytes in its own code page; does
// nothing and returns not_console otherwise.
ConsoleWrite write_console(const char* text, std::size_t size);

// Closes a descriptor; false when the system reports an error.
bool close_fd(int fd);

// Page-aligned heap blocks. Blocks of a few KiB that lie at an odd distance
// from each other make the C library's copies take a slow path on some
// processors; aligning both avoids it. release_block(nullptr) does nothing.
unsigned char* allocate_block(std::size_t size);
void release_block(unsigned char* block);

}  // namespace eolswap::platform

#endif  // EOLSWAP_PLATFORM_H_
