#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the .deb and the tarball by README's commands, and the mingw zip,
# twice: from two clones of HEAD at two paths, as root under umask 022, then
# as nobody under umask 002 a day later (faketime), each seeing only PATH and
# an empty HOME. Fails unless both builds' files are the same byte for byte
# and lintian finds no error or warning in a .deb. Run it as root.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work" # for nobody to reach its clone

build() { # <clone path> <user> <umask> [command the build runs under]
  local dir=$work/$1 log=$work/$1.log user=$2 mask=$3
  shift 3
  # No hard links into this repository's objects, which chown would give away.
  (umask "$mask" && git clone -q --no-hardlinks "$PWD" "$dir" && mkdir "$dir.home" &&
    chown -R "$user:" "$dir" "$dir.home" && cd "$dir" &&
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$dir.home" \
      setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups "$@" sh -c '
      cmake -S . -B build -DBUILD_TESTING=OFF && cmake --build build -j2 &&
      (cd build && cpack -G DEB) && cmake --build build --target dist &&
      cmake --preset mingw && cmake --build build-mingw -j2 && cd build-mingw && cpack -G ZIP') \
    >"$log" 2>&1 || { cat "$log"; exit 1; }
  lintian --fail-on error,warning --display-info "$dir"/build/*.deb
}
build first root 022
build second-clone nobody 002 faketime -f +1d

status=0
for file in "$work"/first/build/*.{deb,tar.gz} "$work"/first/build-mingw/*.zip; do
  other=$work/second-clone/${file#"$work"/first/}
  sha256sum "$file" "$other"
  cmp "$file" "$other" || status=1
done
exit "$status"
