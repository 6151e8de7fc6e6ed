#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the files of a release into dist/, checks each of them, and fails
# when a check fails. For the version in project(VERSION):
#   eolswap-V.tar.gz                    the sources, from git archive HEAD
#   eolswap-V-ARCH-linux.tar.gz         static programs for x86_64, aarch64
#                                       and armhf, with the page, the
#                                       completions, LICENSE and README.md
#   eolswap-V-x86_64-windows.zip        eolswap.exe and CR LF text files
#   eolswap_V_amd64.deb, eolswap-V-1.x86_64.rpm
#   SHA256SUMS
# Everything is built from the unpacked source archive, so the downloads
# hold what the archive holds and uncommitted changes are in none of them;
# the packages come from the build that runs the archive's tests. Scratch
# space is build-release/.
# Installs the Debian packages it needs when they are missing.
# Usage: packaging/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
started=$SECONDS

bash .ci/install.sh cmake g++ make git libgtest-dev man-db zsh fish file \
  binutils gzip dpkg-dev lintian rpm rpmlint cpio zip unzip
bash .ci/install.sh --no-install-recommends g++-aarch64-linux-gnu \
  g++-arm-linux-gnueabihf qemu-user g++-mingw-w64-x86-64-posix wine64

version=$(git show HEAD:CMakeLists.txt |
  sed -n 's/^project(eolswap VERSION \([0-9.]*\)[ )].*/\1/p')
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
name=eolswap-$version
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: uncommitted changes are left out; the release is HEAD" >&2
fi

dist=$top/dist
work=$top/build-release
rm -rf "$dist" "$work"
mkdir -p "$dist" "$work"
fail=0
ok() { echo "release: ok: $*"; }
bad() { echo "release: FAIL: $*"; fail=1; }
# Each build is plain Release, without tests where they are not the point.
lean=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DEOLSWAP_BENCH=OFF
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
# Files and folders in the archives carry the commit's time and no owner,
# so that building the same commit again gives the same archives. The
# tools that write a time into what they make (strip into eolswap.exe's
# header, for one) take the commit's time too.
epoch=$(git log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH=$epoch
pack_tar() {  # pack_tar ARCHIVE DIR FOLDER
  tar -C "$2" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="@$epoch" --mode=u+w,go-w,a+rX -cf - "$3" | gzip -9n >"$1"
}

# The sources, unpacked away from any git checkout: git must not find this
# repository above them.
source=$dist/$name.tar.gz
git archive --format=tar --prefix="$name/" HEAD | gzip -9n >"$source"
export GIT_CEILING_DIRECTORIES=$work
tar -C "$work" -xzf "$source"
src=$work/$name
if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
  bad "git finds a repository around the unpacked sources"
else
  ok "the unpacked sources lie outside any git repository"
fi

# The README's test command, as a user runs it in the unpacked sources.
if (cd "$src" && cmake -S . -B build -DCMAKE_COMPILE_WARNING_AS_ERROR=ON &&
  cmake --build build -j2 && ctest --test-dir build --output-on-failure); then
  ok "the source archive builds and passes its tests"
else
  bad "the source archive's build or tests"
fi

# A sample that every program converts: CR LF, a lone CR, LF CR, a CR at
# the very end, NUL and high bytes, and a CR LF pair split across the first
# block boundary (bytes 4096 and 4097).
sample=$work/sample
mkdir "$sample"
head -c 4095 /dev/zero | tr '\0' a >"$sample/in"
cp "$sample/in" "$sample/want.unx"
cp "$sample/in" "$sample/want.dos"
printf '\r\none\r\ntwo\rthree\n\rfour\0\200\377\r' >>"$sample/in"
printf '\none\ntwo\nthree\n\nfour\0\200\377\n' >>"$sample/want.unx"
printf '\r\none\r\ntwo\r\nthree\r\n\r\nfour\0\200\377\r\n' >>"$sample/want.dos"

# converts WHAT DIR : DIR holds out.unx and out.dos, made from the sample.
converts() {
  if cmp -s "$2/out.unx" "$sample/want.unx" && cmp -s "$2/out.dos" "$sample/want.dos"; then
    ok "$1 converts a file to UNIX and to DOS"
  else
    bad "$1 converts wrongly: $(cmp "$2/out.unx" "$sample/want.unx" 2>&1)" \
      "$(cmp "$2/out.dos" "$sample/want.dos" 2>&1)"
  fi
}

# The Debian package, with its own checks and lintian, and the RPM package
# with the same files, both from the build that ran the tests.
if bash "$src/packaging/check_deb.sh" "$src/build"; then
  ok "the Debian package passes packaging/check_deb.sh"
else
  bad "the Debian package"
fi
deb=$src/build/eolswap_${version}_amd64.deb
[ -f "$deb" ] && cp "$deb" "$dist/"

rpm_file=$name-1.x86_64.rpm
(cd "$src/build" && cpack -G RPM) >"$work/cpack-rpm.log" 2>&1 ||
  { cat "$work/cpack-rpm.log"; bad "cpack -G RPM"; }
if [ -f "$src/build/$rpm_file" ]; then
  cp "$src/build/$rpm_file" "$dist/"
  rpm=$dist/$rpm_file
  echo "release: the RPM package holds:"
  rpm -qlpv "$rpm" | sed 's/^/release:   /'
  rpm_files=$(rpm -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "$rpm" |
    awk '$1 !~ /^d/ {print $2}' | sort) || true
  deb_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' |
    sort) || true
  [ -n "$rpm_files" ] && [ "$rpm_files" = "$deb_files" ] &&
    ok "the RPM package holds the files of the .deb" ||
    bad "RPM and .deb files differ: $(diff <(echo "$deb_files") <(echo "$rpm_files"))"
  rpm -qp --requires "$rpm" | grep -q '^libc\.so\.6' &&
    ok "the RPM package requires the C library" ||
    bad "RPM requires: $(rpm -qp --requires "$rpm" | tr '\n' ' ')"
  if lint=$(rpmlint --strict -c "$src/packaging/rpmlint.toml" "$rpm" 2>&1); then
    ok "rpmlint finds no error and no warning"
  else
    bad "rpmlint: $lint"
  fi
  echo "$lint" | sed 's/^/release:   /'
  unpacked=$work/rpm
  mkdir "$unpacked"
  (cd "$unpacked" && rpm2cpio "$rpm" | cpio -idm --quiet) ||
    bad "rpm2cpio | cpio"
  "$unpacked/usr/bin/eolswap" -q -u "$sample/in" "$unpacked/out.unx" &&
    "$unpacked/usr/bin/eolswap" -q <"$unpacked/out.unx" >"$unpacked/out.dos" ||
    bad "the RPM package's program failed"
  converts "the RPM package's program" "$unpacked"
else
  bad "cpack made no $rpm_file"
fi

# Static Linux programs. The x86_64 one runs chrooted into a folder that
# holds nothing but itself and its input; the others run there under
# qemu-user, which runs on the host, with no library path, and their ELF
# headers show that they ask for no loader and no library.
for arch in x86_64 aarch64 armhf; do
  build=$work/build-$arch
  cross=()
  [ "$arch" = x86_64 ] ||
    cross=(-DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake -DEOLSWAP_CROSS="$arch")
  cmake -S "$src" -B "$build" "${cross[@]}" "${lean[@]}" -DEOLSWAP_STATIC=ON
  cmake --build "$build" -j2
  cmake --install "$build" --prefix "$build/stage" --strip >/dev/null
  folder=$name-$arch-linux
  mkdir -p "$work/$folder/completions"
  cp "$build/stage/bin/eolswap" "$src/man/man1/eolswap.1" "$src/LICENSE" \
    "$src/README.md" "$work/$folder/"
  cp "$src/completions/eolswap" "$src/completions/_eolswap" \
    "$src/completions/eolswap.fish" "$work/$folder/completions/"
  pack_tar "$dist/$folder.tar.gz" "$work" "$folder"

  check=$work/check-$arch
  mkdir "$check"
  tar -C "$check" -xzf "$dist/$folder.tar.gz"
  listing=$(cd "$check" && find . -type f | sort | tr '\n' ' ')
  want="./$folder/LICENSE ./$folder/README.md ./$folder/completions/_eolswap"
  want+=" ./$folder/completions/eolswap ./$folder/completions/eolswap.fish"
  want+=" ./$folder/eolswap ./$folder/eolswap.1 "
  [ "$listing" = "$want" ] && ok "$folder.tar.gz holds the expected files" ||
    bad "$folder.tar.gz holds: $listing"
  program=$check/$folder/eolswap
  file "$program" | grep -q 'statically linked' &&
    ok "file: the $arch program is statically linked" ||
    bad "file: $(file -b "$program")"
  if ! readelf -lW "$program" | grep -q INTERP &&
    ! readelf -d "$program" | grep -q NEEDED; then
    ok "the $arch program names no loader and no library"
  else
    bad "the $arch program asks for a loader or libraries"
  fi

  root=$check/root
  mkdir "$root"
  cp "$program" "$sample/in" "$root/"
  # The chrooted program sees the root's files at /; qemu's guest sees the
  # host's, so its operands are relative to the root, its working folder.
  where="under qemu-user, with no library path, in a folder of its own"
  case $arch in
    x86_64) run=(chroot "$root" /eolswap) at=/ where="in an empty root" ;;
    aarch64) run=(env -i "$(command -v qemu-aarch64)" ./eolswap) at= ;;
    armhf) run=(env -i "$(command -v qemu-arm)" ./eolswap) at= ;;
  esac
  # chroot needs root; elsewhere a user namespace of its own grants it.
  if [ "$arch" = x86_64 ] && [ "$(id -u)" != 0 ]; then
    run=(unshare --map-root-user --root="$root" /eolswap)
  fi
  got=$(cd "$root" && "${run[@]}" -v 2>&1) || true
  [ "$got" = "eolswap version $version" ] &&
    ok "the $arch program runs $where: $got" ||
    bad "the $arch program $where: $got"
  (cd "$root" && "${run[@]}" -q -u "${at}in" "${at}out.unx" &&
    "${run[@]}" -q <out.unx >out.dos) || bad "the $arch program failed"
  converts "the $arch program" "$root"
done

# The Windows program, with the licence, a README of its own written for
# Windows users (the Markdown one speaks of Linux and the sources) and the
# manual page as text files with CR LF line breaks, which the x86_64
# program above makes.
build=$work/build-windows
cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  "${lean[@]}"
cmake --build "$build" -j2
cmake --install "$build" --prefix "$build/stage" --strip >/dev/null
folder=$name-x86_64-windows
mkdir "$work/$folder"
cp "$build/stage/bin/eolswap.exe" "$work/$folder/"
to_dos=$work/build-x86_64/stage/bin/eolswap
MANWIDTH=80 MAN_DISABLE_SECCOMP=1 LC_ALL=C man -l "$src/man/man1/eolswap.1" |
  col -bx >"$work/eolswap.txt"
"$to_dos" -q -d "$src/LICENSE" "$work/$folder/LICENSE.txt"
"$to_dos" -q -d "$src/packaging/README-windows.txt" "$work/$folder/README.txt"
"$to_dos" -q -d "$work/eolswap.txt" "$work/$folder/eolswap.txt"
members=(eolswap.exe LICENSE.txt README.txt eolswap.txt)
chmod u+w,go-w,a+rX "$work/$folder" "$work/$folder"/*
touch -d "@$epoch" "$work/$folder" "$work/$folder"/*
(cd "$work" && zip -X -q -9 "$dist/$folder.zip" "$folder/" "${members[@]/#/$folder/}")

check=$work/check-windows
mkdir "$check"
unzip -q "$dist/$folder.zip" -d "$check"
listing=$(cd "$check/$folder" && ls | sort | tr '\n' ' ')
[ "$listing" = "LICENSE.txt README.txt eolswap.exe eolswap.txt " ] &&
  ok "$folder.zip holds the expected files" || bad "$folder.zip holds: $listing"
file "$check/$folder/eolswap.exe" | grep -q 'PE32+ executable (console) x86-64' &&
  ok "file: eolswap.exe is a 64-bit console program" ||
  bad "file: $(file -b "$check/$folder/eolswap.exe")"
for text in LICENSE.txt README.txt eolswap.txt; do
  lines=$(wc -l <"$check/$folder/$text")
  if [ "$lines" -gt 0 ] && [ "$(grep -c $'\r$' "$check/$folder/$text")" = "$lines" ]; then
    ok "$text has CR LF line breaks"
  else
    bad "$text: not every line ends in CR LF"
  fi
done
if grep -q '^SYNOPSIS' "$check/$folder/eolswap.txt" &&
  ! grep -q $'\b' "$check/$folder/eolswap.txt"; then
  ok "eolswap.txt is the manual page as plain text"
else
  bad "eolswap.txt is not the manual page as plain text"
fi

# Wine with a prefix of its own, and its server stopped afterwards.
. "$top/.ci/wine.sh"
start_wine "$build"
windows=$check/$folder
cp "$sample/in" "$windows/in"
got=$(cd "$windows" && "${wine_run[@]}" eolswap.exe -v 2>&1 | tr -d '\r') || true
[ "$got" = "eolswap version $version" ] && ok "eolswap.exe runs under Wine: $got" ||
  bad "eolswap.exe under Wine: $got"
(cd "$windows" && "${wine_run[@]}" eolswap.exe -q -u in out.unx &&
  "${wine_run[@]}" eolswap.exe -q <out.unx >out.dos) || bad "eolswap.exe failed"
converts "eolswap.exe, under Wine," "$windows"
stop_wine

# The checksums, in the format sha256sum -c reads.
(cd "$dist" && sha256sum -- *.tar.gz *.zip *.deb *.rpm >SHA256SUMS)
if (cd "$dist" && sha256sum -c SHA256SUMS); then
  ok "sha256sum -c SHA256SUMS"
else
  bad "sha256sum -c SHA256SUMS"
fi
[ "$(wc -l <"$dist/SHA256SUMS")" -eq 7 ] && ok "SHA256SUMS covers 7 files" ||
  bad "SHA256SUMS covers $(wc -l <"$dist/SHA256SUMS") files, not 7"

echo "release: dist/ after $((SECONDS - started)) s:"
(cd "$dist" && ls -l) | sed 's/^/release:   /'
if [ "$fail" -ne 0 ]; then
  echo "release: some checks FAILED" >&2
  exit 1
fi
echo "release: every check passed"
