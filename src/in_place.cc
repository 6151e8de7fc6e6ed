// SPDX-License-Identifier: BSD-2-Clause
#include "in_place.h"

#include <cstdint>
#include <cstdlib>

#include "convert.h"
#include "exits.h"
#include "file_identity.h"
#include "line_break.h"
#include "message.h"
#include "platform.h"
#include "run_settings.h"
#include "stream.h"

// The file is never emptied and never replaced. Its conversion goes into a
// working file beside it, which is made durable under a name of its own;
// only then is the conversion copied back over the file from its first
// byte, the file cut to the new length and made durable, and the working
// file removed. Whenever the run stops, the old content is whole in the
// file or the new content is whole in the file or in the working file.

namespace eolswap {

namespace {

// The most one copy inside the kernel is asked for at a time.
constexpr std::size_t copy_piece = std::size_t{1} << 30;

// Reads the input until a block that the conversion would change, or to its
// end, so that a file already in the target form costs no write at all.
bool input_would_change(InputStream* input, unsigned char* block,
                        BreakStyle style) {
  int previous = -1;
  for (;;) {
    const std::size_t n = read_block(input, block, input_block_size);
    if (n == 0) return false;
    const int next = block[n - 1] == cr ? peek_next_byte(input) : -1;
    if (conversion_changes(block, n, previous, next, style)) return true;
    previous = block[n - 1];
  }
}

// Copies from the start of one file over the start of the other, inside
// the kernel where the system can, through block otherwise.
bool copy_back(int from, int to, unsigned char* block) {
  long copied;
  while ((copied = platform::copy_in_kernel(from, to, copy_piece)) > 0) {
  }
  if (copied == 0) return true;
  if (copied != platform::copy_unsupported) return false;
  InputStream source;
  source.fd = from;
  OutputStream target;
  target.fd = to;
  for (;;) {
    const std::size_t n = read_block(&source, block, output_block_size);
    if (n == 0) return !source.failed;
    if (!write_all(target, block, n)) return false;
  }
}

// Closes the working file and removes it: Windows removes an open file only
// once it is closed, which could come after the run has ended.
bool discard_work_file(int work) {
  platform::close_fd(work);
  return platform::remove_work_file();
}

[[noreturn]] void exit_without_copy(const char* name, int work) {
  if (work >= 0) discard_work_file(work);
  platform::print_message(
      "Error: no working copy of %s can be made in its folder\n\n", name);
  std::exit(exit_failure);
}

}  // namespace

void convert_in_place(InputStream* input, const char* name,
                      unsigned char* input_block, unsigned char* output_block,
                      const RunSettings& settings) {
  // Opening for writing comes first, so that a file the user may not write,
  // or a program that is running, is refused before any work is done. The
  // descriptor is compared with the input, since the name may have been
  // pointed elsewhere since it was looked up.
  const int file = platform::open_existing_output(name);
  if (file < 0 ||
      !is_same_regular_file(platform::identify_descriptor(input->fd),
                            platform::identify_descriptor(file)))
    print_usage_and_exit(program_name, "error opening output file\n");
  if (!settings.quiet) {
    platform::print_message("Converting %s to %s with %s line breaks.\n",
                            input->name, name, style_names[settings.style]);
  }

  if (!input_would_change(input, input_block, settings.style)) {
    if (input->failed) fatal_error("error reading input file\n");
    std::exit(exit_ok);
  }
  if (platform::rewind_fd(input->fd) < 0)
    fatal_error("error reading input file\n");
  *input = InputStream{input->fd, input->name};

  const int work = platform::create_work_file(name);
  if (work < 0) exit_without_copy(name, work);
  OutputStream copy;
  copy.fd = work;
  switch (
      convert_stream(input, copy, input_block, output_block, settings.style)) {
    case ConvertResult::done:
      break;
    case ConvertResult::read_failed:
      discard_work_file(work);
      fatal_error("error reading input file\n");
    case ConvertResult::write_failed:
      discard_work_file(work);
      std::exit(exit_failure);
  }
  const std::int64_t length = platform::rewind_fd(work);
  if (length < 0 || !platform::keep_work_file(work))
    exit_without_copy(name, work);

  // From here on the file changes; the working file holds the whole
  // conversion until the file holds it durably.
  if (!copy_back(work, file, output_block) ||
      !platform::set_file_length(file, static_cast<std::uint64_t>(length)) ||
      !platform::sync_fd(file)) {
    platform::print_message(
        "Error: rewriting %s failed; its converted content is kept in %s\n\n",
        name, platform::work_file_name());
    std::exit(exit_failure);
  }
  if (!discard_work_file(work)) {
    platform::print_message(
        "Error: %s is converted, but its working copy %s stays\n\n", name,
        platform::work_file_name());
    std::exit(exit_failure);
  }
  std::exit(exit_ok);
}

}  // namespace eolswap
