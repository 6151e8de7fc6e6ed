#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# CI step: builds the Debian package in a build directory of its own and
# checks it with packaging/check_deb.sh. A fresh Debian machine lacks some of
# the tools this needs: dpkg-shlibdeps (dpkg-dev) and file for cpack's
# Depends field, man (man-db) to render the manual page, and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."

bash .ci/install.sh dpkg-dev file man-db binutils gzip lintian

cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build-deb -j2
bash packaging/check_deb.sh build-deb
