// SPDX-License-Identifier: BSD-2-Clause
#include "driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert.h"
#include "exits.h"
#include "file_identity.h"
#include "in_place.h"
#include "line_break.h"
#include "message.h"
#include "options/getopt.h"
#include "platform.h"
#include "run_settings.h"
#include "stream.h"
#include "text_check.h"

namespace eolswap {

namespace {

constexpr const char* option_string = "udmipvqhH";
constexpr const char* standard_stream_name = "-";

// Released by the exit handler, whichever way the run ends.
unsigned char* input_block = nullptr;
unsigned char* output_block = nullptr;

void release_blocks() {
  platform::release_block(input_block);
  input_block = nullptr;
  platform::release_block(output_block);
  output_block = nullptr;
}

RunSettings parse_options(int argc, char* argv[]) {
  RunSettings settings;
  int option;
  while ((option = options::getopt(argc, argv, option_string)) != -1) {
    switch (option) {
      case 'u':
        settings.style = style_unix;
        break;
      case 'd':
        settings.style = style_dos;
        break;
      case 'm':
        settings.style = style_mac;
        break;
      case 'i':
        settings.identify_only = true;
        break;
      case 'p':
        settings.verify_text = true;
        break;
      case 'v':
        print_version_and_exit(program_name);
      case 'q':
        settings.quiet = true;
        break;
      case 'h':
      case 'H':
        print_usage_and_exit(program_name, nullptr);
      default:
        print_usage_and_exit(program_name, "unexpected option\n");
    }
  }
  return settings;
}

bool is_standard_stream(const char* operand) {
  return std::strcmp(operand, standard_stream_name) == 0;
}

// The names that the command line gives the two streams.
struct OperandNames {
  const char* input = standard_stream_name;
  const char* output = standard_stream_name;
};

// Takes the operands that follow the options, once. A third one is refused
// before anything is opened: it comes from a shell pattern that matched
// more files than meant or from an option typed after the file names, and
// either way the second file would be overwritten with a conversion nobody
// asked for.
OperandNames take_operand_names(int argc, const char* const argv[]) {
  OperandNames names;
  const int first = options::optind;
  if (argc - first > 2)
    print_usage_and_exit(program_name, "too many file names\n");
  if (first < argc) names.input = argv[first];
  if (first + 1 < argc) names.output = argv[first + 1];
  return names;
}

// An input that hands over whole packets is refused before any output is
// written: filling fixed blocks from it, and the look-ahead of one byte
// after a CR, would drop the rest of each packet that they cut.
InputStream open_input_or_die(const char* name) {
  InputStream input;
  input.name = name;
  input.fd = is_standard_stream(name) ? 0 : platform::open_input(name);
  if (input.fd < 0)
    print_usage_and_exit(program_name, "error opening input file\n");
  if (platform::reads_whole_packets(input.fd))
    fatal_error("error reading input file\n");
  return input;
}

// Two names of one regular file ask for that file to be converted where it
// lies. A standard stream that the shell opened onto the input leaves no
// name to work on, and a block device named twice has no room for a
// working copy; both are refused when the output is opened.
bool names_one_file(const OperandNames& names, const InputStream& input) {
  return !is_standard_stream(names.input) &&
         !is_standard_stream(names.output) &&
         is_same_regular_file(platform::identify_descriptor(input.fd),
                              platform::identify_path(names.output));
}

[[noreturn]] void refuse_same_file() {
  print_usage_and_exit(program_name, "input and output are the same file\n");
}

// Opens the output only once it is known not to be the input: emptying the
// input would destroy the very bytes to be converted. The name is compared
// before the open, so that such an output is refused as the same file even
// where it cannot be opened for writing.
OutputStream open_distinct_output_or_die(const char* name,
                                         const InputStream& input) {
  const FileIdentity input_file = platform::identify_descriptor(input.fd);
  OutputStream output;
  output.name = name;
  if (is_standard_stream(name)) {
    output.fd = 1;
    if (may_be_same_file(input_file, platform::identify_descriptor(1)))
      refuse_same_file();
    return output;
  }
  if (may_be_same_file(input_file, platform::identify_path(name)))
    refuse_same_file();
  output.fd = platform::open_output(name);
  if (output.fd < 0)
    print_usage_and_exit(program_name, "error opening output file\n");
  // Another process may point the name at the input between the comparison
  // and the open (a rename, a new link). Opening does not empty the file;
  // what gets emptied is the descriptor, so that is compared once more.
  if (may_be_same_file(input_file, platform::identify_descriptor(output.fd))) {
    platform::close_fd(output.fd);
    refuse_same_file();
  }
  if (!platform::truncate_output(output.fd))
    print_usage_and_exit(program_name, "error opening output file\n");
  return output;
}

unsigned char* allocate_or_die(std::size_t size) {
  unsigned char* block = platform::allocate_block(size);
  if (block == nullptr) fatal_error("not enough memory\n");
  return block;
}

}  // namespace

void run(int argc, char* argv[]) {
  platform::prepare_process();
  const RunSettings settings = parse_options(argc, argv);
  const OperandNames names = take_operand_names(argc, argv);
  InputStream input = open_input_or_die(names.input);

  std::atexit(release_blocks);
  input_block = allocate_or_die(input_block_size);
  output_block = allocate_or_die(output_block_size);

  if (settings.identify_only || settings.verify_text)
    scan_first_block(&input, input_block, settings, input.name);

  if (names_one_file(names, input))
    convert_in_place(&input, names.output, input_block, output_block,
                     settings);
  const OutputStream output = open_distinct_output_or_die(names.output, input);
  if (!settings.quiet) {
    platform::print_message("Converting %s to %s with %s line breaks.\n",
                            input.name, output.name,
                            style_names[settings.style]);
  }

  switch (convert_stream(&input, output, input_block, output_block,
                         settings.style)) {
    case ConvertResult::done:
      break;
    case ConvertResult::read_failed:
      fatal_error("error reading input file\n");
    case ConvertResult::write_failed:
      std::exit(exit_failure);
  }

  platform::close_fd(input.fd);
  // Data that the system accepted may still fail to reach the file (a full
  // disk on a network file system shows only here); that is a lost write.
  if (!platform::close_fd(output.fd)) std::exit(exit_failure);
  std::exit(exit_ok);
}

}  // namespace eolswap
