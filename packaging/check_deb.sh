#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the Debian package with cpack in a configured build directory,
# checks its metadata and contents, unpacks it into a scratch root and runs
# the unpacked program on real conversions.
# Usage: packaging/check_deb.sh BUILD_DIR
set -uo pipefail
build=$(realpath "$1") || exit 1

fail=0
ok() { echo "ok: $*"; }
bad() { echo "FAIL: $*"; fail=1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb="$build/eolswap_${version}_${arch}.deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB) || { echo "FAIL: cpack"; exit 1; }
[ -f "$deb" ] || { echo "FAIL: cpack made no $deb"; exit 1; }
ok "built $(basename "$deb")"

# Metadata.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = eolswap ] && ok "Package" || bad "Package: $(field Package)"
[ "$(field Version)" = "$version" ] && ok "Version" || bad "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] && ok "Architecture" ||
  bad "Architecture: $(field Architecture)"
[ "$(field Section)" = utils ] && ok "Section" || bad "Section: $(field Section)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] && ok "Maintainer" ||
  bad "Maintainer: $(field Maintainer)"
[[ $(field Depends) == *libc6* ]] && ok "Depends from shlibdeps" ||
  bad "Depends: $(field Depends)"
[ -n "$(field Description)" ] && ok "Description" || bad "no Description"

# Contents: owner, mode and path of each file.
listing=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}')
for want in \
  "-rwxr-xr-x root/root ./usr/bin/eolswap" \
  "-rw-r--r-- root/root ./usr/share/man/man1/eolswap.1.gz" \
  "-rw-r--r-- root/root ./usr/share/bash-completion/completions/eolswap" \
  "-rw-r--r-- root/root ./usr/share/zsh/vendor-completions/_eolswap" \
  "-rw-r--r-- root/root ./usr/share/fish/vendor_completions.d/eolswap.fish" \
  "-rw-r--r-- root/root ./usr/share/doc/eolswap/copyright" \
  "-rw-r--r-- root/root ./usr/share/doc/eolswap/changelog.gz"; do
  grep -qxF -- "$want" <<<"$listing" && ok "holds ${want##* }" ||
    bad "no '$want' in the package"
done
[ "$(wc -l <<<"$listing")" -eq 7 ] || bad "unexpected files: $listing"

# Debian's policy checker: no error and no warning.
if command -v lintian >/dev/null; then
  if tags=$(lintian --fail-on error,warning "$deb" 2>&1); then
    ok "lintian finds no error and no warning"
  else
    bad "lintian: $tags"
  fi
else
  bad "lintian is not installed"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# Without dpkg-shlibdeps the package would declare no Depends; cpack must
# refuse it and name the package to install. The tool is hidden in a mount
# namespace of the run's own, which needs root and a system that grants it
# (a container may not).
shlibdeps=$(command -v dpkg-shlibdeps)
if [ "$(id -u)" = 0 ] && [ -n "$shlibdeps" ] && unshare --mount true 2>/dev/null; then
  refused=$(cd "$build" && unshare --mount sh -c \
    'mount --bind /dev/null "$1" && cpack -G DEB -B "$2"' sh "$shlibdeps" \
    "$root/refused" 2>&1)
  status=$?
  if [ "$status" -ne 0 ] && grep -q 'dpkg-dev' <<<"$refused"; then
    ok "no package without dpkg-shlibdeps, and dpkg-dev named"
  else
    bad "without dpkg-shlibdeps, cpack gave status $status: $refused"
  fi
else
  echo "skip: the run without dpkg-shlibdeps needs root and mount namespaces"
fi
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x"; exit 1; }
program="$root/usr/bin/eolswap"
page="$root/usr/share/man/man1/eolswap.1.gz"

# gzip -9n: the header has no file name (FLG bit 3), no time stamp (MTIME 0)
# and marks the best compression (XFL 2).
gzip_9n() {  # gzip_9n NAME FILE
  local header id1 id2 method flags m1 m2 m3 m4 xfl os
  header=$(od -An -tu1 -N10 "$2" 2>&1 | tr -s ' ' | sed 's/^ //')
  read -r id1 id2 method flags m1 m2 m3 m4 xfl os <<<"$header"
  if [ "$id1 $id2 $method" = "31 139 8" ] && (( (flags & 8) == 0 )) &&
    [ "$m1$m2$m3$m4" = 0000 ] && [ "$xfl" = 2 ]; then
    ok "$1 compressed with gzip -9n"
  else
    bad "$1 header: $header"
  fi
}
gzip_9n "manual page" "$page"
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
gzip -dc "$page" 2>/dev/null | cmp -s - "$source_dir/man/man1/eolswap.1" &&
  ok "manual page content" || bad "manual page differs from the source"

# The changelog as kept in the tree, its top entry naming this version; the
# copyright in the machine-readable format, with the terms of LICENSE.
changelog="$root/usr/share/doc/eolswap/changelog.gz"
gzip_9n "changelog" "$changelog"
gzip -dc "$changelog" 2>/dev/null | cmp -s - "$source_dir/packaging/changelog" &&
  ok "changelog content" || bad "changelog differs from the source"
top=$(gzip -dc "$changelog" 2>/dev/null | head -n 1)
[[ $top == "eolswap ($version) "* ]] && ok "changelog starts at $version" ||
  bad "changelog's top entry: $top"
copyright="$root/usr/share/doc/eolswap/copyright"
[ "$(head -n 1 "$copyright")" = \
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] &&
  grep -qx 'License: BSD-2-Clause' "$copyright" && ok "copyright format" ||
  bad "copyright is not in the machine-readable format"
sed -n '/^Redistribution/,$p' "$source_dir/LICENSE" >"$root/terms.want"
sed -n '/^ Redistribution/,$p' "$copyright" |
  sed 's/^ \.$//; s/^ //' >"$root/terms.got"
cmp -s "$root/terms.want" "$root/terms.got" && ok "copyright holds the licence terms" ||
  bad "copyright terms differ from LICENSE: $(diff "$root/terms.want" "$root/terms.got")"
if [ -f "$page" ] && command -v man >/dev/null; then
  warnings=$(MANWIDTH=80 MAN_DISABLE_SECCOMP=1 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] && ok "manual page renders" || bad "man: $warnings"
fi

file "$program" | grep -q ', stripped' && ok "program stripped" ||
  bad "program not stripped: $(file "$program")"
readelf -d "$program" | grep -q 'BIND_NOW' && ok "program binds now (full RELRO)" ||
  bad "program lacks BIND_NOW"

# The unpacked program at work. The input mixes CR LF, a lone CR, LF CR, a
# CR at the very end, NUL and high bytes, and a CR LF pair split across the
# first block boundary (bytes 4096 and 4097).
work="$root/work"
mkdir "$work" || exit 1
head -c 4095 /dev/zero | tr '\0' a >"$work/in"
printf '\r\none\r\ntwo\rthree\n\rfour\0\200\377\r' >>"$work/in"
head -c 4095 /dev/zero | tr '\0' a >"$work/want.unx"
printf '\none\ntwo\nthree\n\nfour\0\200\377\n' >>"$work/want.unx"
head -c 4095 /dev/zero | tr '\0' a >"$work/want.dos"
printf '\r\none\r\ntwo\r\nthree\r\n\r\nfour\0\200\377\r\n' >>"$work/want.dos"

if "$program" -q -u "$work/in" "$work/out.unx" 2>"$work/err" &&
  cmp -s "$work/out.unx" "$work/want.unx" && [ ! -s "$work/err" ]; then
  ok "installed program converts a file to UNIX"
else
  bad "installed program, file to UNIX: $(cmp "$work/out.unx" "$work/want.unx" 2>&1)"
fi
if "$program" -q <"$work/out.unx" | cat >"$work/out.dos" &&
  cmp -s "$work/out.dos" "$work/want.dos"; then
  ok "installed program converts a pipe to DOS"
else
  bad "installed program, pipe to DOS: $(cmp "$work/out.dos" "$work/want.dos" 2>&1)"
fi
[ "$("$program" -v 2>&1)" = "eolswap version $version" ] &&
  ok "installed program is version $version" ||
  bad "version: $("$program" -v 2>&1)"

exit $fail
