// SPDX-License-Identifier: BSD-2-Clause
#include "options/getopt.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "options/getopt_internal.h"

namespace eolswap::options {
namespace {

struct Step {
  int result;
  int optind;
  // What optarg holds after a letter is returned: the option's argument, or
  // null for an option that takes none.
  const char* optarg = nullptr;
};

struct ScanCase {
  const char* name;
  std::vector<std::string> args;  // args[0] is the program name
  const char* optstring;
  std::vector<Step> steps;  // the last step returns -1
  std::string diagnostics;
};

constexpr const char* driver_options = "udmipvqhH";

const ScanCase scan_cases[] = {
    {"no arguments", {"eolswap"}, driver_options, {{-1, 1}}, ""},
    {"separate options",
     {"eolswap", "-u", "-q", "in"},
     driver_options,
     {{'u', 2}, {'q', 3}, {-1, 3}},
     ""},
    {"cluster advances past its last letter only",
     {"eolswap", "-ui", "in"},
     driver_options,
     {{'u', 1}, {'i', 2}, {-1, 2}},
     ""},
    {"lone dash is an operand",
     {"eolswap", "-u", "-", "out"},
     driver_options,
     {{'u', 2}, {-1, 2}},
     ""},
    {"two dashes are consumed",
     {"eolswap", "--", "-u"},
     driver_options,
     {{-1, 2}},
     ""},
    {"any double-dash argument ends the options silently",
     {"eolswap", "--help", "-u"},
     driver_options,
     {{-1, 2}},
     ""},
    {"dash inside a cluster ends the options",
     {"eolswap", "-u-", "x"},
     driver_options,
     {{'u', 1}, {-1, 1}},
     ""},
    {"operand first stops the scan",
     {"eolswap", "in.txt", "-u"},
     driver_options,
     {{-1, 1}},
     ""},
    {"unknown letter at end of argument moves on",
     {"eolswap", "-x", "in"},
     driver_options,
     {{'?', 2}, {-1, 2}},
     "eolswap: illegal option -- x\n"},
    {"unknown letter inside a cluster stays",
     {"eolswap", "-xu"},
     driver_options,
     {{'?', 1}, {'u', 2}, {-1, 2}},
     "eolswap: illegal option -- x\n"},
    {"colon is never an option",
     {"eolswap", "-:"},
     "a:b",
     {{'?', 2}, {-1, 2}},
     "eolswap: illegal option -- :\n"},
    {"letters are case sensitive",
     {"eolswap", "-D"},
     driver_options,
     {{'?', 2}, {-1, 2}},
     "eolswap: illegal option -- D\n"},
    {"program name after the last slash",
     {"/usr/bin/tool", "-x"},
     driver_options,
     {{'?', 2}, {-1, 2}},
     "tool: illegal option -- x\n"},
    {"backslashes are not separators",
     {"C:\\bin\\tool.exe", "-x"},
     driver_options,
     {{'?', 2}, {-1, 2}},
     "C:\\bin\\tool.exe: illegal option -- x\n"},
    {"argument attached",
     {"eolswap", "-ofile", "in"},
     "o:",
     {{'o', 2, "file"}, {-1, 2}},
     ""},
    {"argument separate",
     {"eolswap", "-o", "file", "in"},
     "o:",
     {{'o', 3, "file"}, {-1, 3}},
     ""},
    {"argument after a cluster letter",
     {"eolswap", "-uo", "file"},
     "uo:",
     {{'u', 1}, {'o', 3, "file"}, {-1, 3}},
     ""},
    {"argument that looks like an option",
     {"eolswap", "-o", "-u", "-u"},
     "uo:",
     {{'o', 3, "-u"}, {'u', 4}, {-1, 4}},
     ""},
    {"option without argument clears the last one",
     {"eolswap", "-ofile", "-u"},
     "uo:",
     {{'o', 2, "file"}, {'u', 3}, {-1, 3}},
     ""},
    {"missing argument",
     {"eolswap", "-o"},
     "o:",
     {{'?', 2}, {-1, 2}},
     "eolswap: option requires an argument -- o\n"},
};

TEST(Getopt, ScanTable) {
  for (const ScanCase& c : scan_cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> storage = c.args;
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    optind = 1;
    reset_cursor();
    ::testing::internal::CaptureStderr();
    std::vector<Step> got;
    for (std::size_t guard = 0; guard < c.steps.size() + 2; ++guard) {
      const int result =
          getopt(static_cast<int>(storage.size()), argv.data(), c.optstring);
      got.push_back({result, optind, optarg});
      if (result == -1) break;
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.diagnostics);
    ASSERT_EQ(got.size(), c.steps.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "step " << i);
      EXPECT_EQ(got[i].result, c.steps[i].result);
      EXPECT_EQ(got[i].optind, c.steps[i].optind);
      if (c.steps[i].result > 0 && c.steps[i].result != '?') {
        const std::string want =
            c.steps[i].optarg != nullptr ? c.steps[i].optarg : "(none)";
        const std::string have =
            got[i].optarg != nullptr ? got[i].optarg : "(none)";
        EXPECT_EQ(have, want);
      }
    }
  }
}

TEST(Getopt, ReportsOptionAndArgument) {
  std::string a0 = "eolswap", a1 = "-xofile";
  char* argv[] = {a0.data(), a1.data(), nullptr};
  optind = 1;
  reset_cursor();
  opterr = 0;  // silenced: nothing printed
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(getopt(2, argv, "o:"), '?');
  EXPECT_EQ(optopt, 'x');
  EXPECT_EQ(getopt(2, argv, "o:"), 'o');
  EXPECT_EQ(optopt, 'o');
  EXPECT_STREQ(optarg, "file");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  opterr = 1;
}

}  // namespace
}  // namespace eolswap::options
