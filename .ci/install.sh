#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs those of the named Debian packages that are not installed yet.
# Usage: .ci/install.sh [APT_OPTION...] PACKAGE...
set -euo pipefail
options=()
need=()
for arg in "$@"; do
  case $arg in
    -*) options+=("$arg") ;;
    *) dpkg-query -W -f='${Status}' "$arg" 2>/dev/null |
         grep -q 'install ok installed' || need+=("$arg") ;;
  esac
done
[ ${#need[@]} -gt 0 ] || exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${options[@]}" "${need[@]}"
