// SPDX-License-Identifier: BSD-2-Clause
#include "driver.h"

int main(int argc, char* argv[]) { eolswap::run(argc, argv); }
