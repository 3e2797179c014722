#!/usr/bin/env bash
# Checks the installed package: builds a Release tree, installs it into a
# temporary prefix, builds the example program (examples/) against that
# prefix with find_package(logsplit), converts a sample raw image with it and
# checks the DAT file, the programs and the man pages that were installed.
#
# Needs the build dependencies of scripts/install-deps.sh. Environment:
#   LOGSPLIT_INSTALL_BUILD_DIR  Release build tree (default: build-install)
#   JOBS                        parallel build jobs (default: all processors)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${LOGSPLIT_INSTALL_BUILD_DIR:-build-install}"
jobs="${JOBS:-$(nproc)}"

work=$(mktemp -d "${TMPDIR:-/tmp}/logsplit-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

fail() {
  echo "check-install: $*" >&2
  exit 1
}

echo "check-install: building the Release tree in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLOGSPLIT_TESTS=OFF >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null

echo "check-install: installing into $prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=""
for d in lib lib64 lib/*-linux-gnu; do
  if [ -f "$prefix/$d/cmake/logsplit/logsplitConfig.cmake" ]; then libdir="$prefix/$d"; fi
done
[ -n "$libdir" ] || fail "no package configuration installed (logsplitConfig.cmake)"
[ -f "$libdir/cmake/logsplit/logsplitConfigVersion.cmake" ] || fail "no package version file"
[ -f "$prefix/include/logsplit/logsplit.h" ] || fail "public header not installed"
if grep -Eq '#include "(app|run|k01lib|dat|report|common)/' "$prefix/include/logsplit/logsplit.h"; then
  fail "the public header includes an internal header"
fi
for program in logsplit k01pack; do
  [ -x "$prefix/bin/$program" ] || fail "program $program not installed"
done
for page in "$root"/man/*.1; do
  name=$(basename "$page")
  [ -f "$prefix/share/man/man1/$name" ] || fail "man page $name not installed"
  if command -v groff >/dev/null 2>&1; then
    warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/$name" 2>&1 || true)
    [ -z "$warnings" ] || fail "man page $name: $warnings"
  fi
done
for page in logsplit.1 k01pack.1; do
  [ -f "$prefix/share/man/man1/$page" ] || fail "man page $page not installed"
done

echo "check-install: building examples/ against the installed package"
cmake -S examples -B "$work/example" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" -j"$jobs" >/dev/null

echo "check-install: converting a sample with the example program"
mkdir "$work/run"
"$build/make_sample" "$work/run/gs00233a.q00"
set +e
"$work/example/convert_with_progress" "$work/run/gs00233a" >"$work/example.out" 2>&1
status=$?
set -e
if [ "$status" -ne 0 ]; then
  cat "$work/example.out" >&2
  fail "the example program ended with status $status"
fi
[ -s "$work/run/gs00233a.dat" ] || fail "the example program wrote no DAT file"

# The installed library links with another compiler too, when there is one.
if command -v clang++ >/dev/null 2>&1; then
  echo "check-install: building examples/ with clang++"
  CXX=clang++ cmake -S examples -B "$work/example-clang" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/example-clang" -j"$jobs" >/dev/null
  mkdir "$work/run-clang"
  cp "$work/run/gs00233a.q00" "$work/run-clang/"
  "$work/example-clang/convert_with_progress" "$work/run-clang/gs00233a" >/dev/null 2>&1 ||
    fail "the example program built with clang++ failed"
  cmp -s "$work/run/gs00233a.dat" "$work/run-clang/gs00233a.dat" ||
    fail "the clang++ build of the example wrote another DAT file"
fi

# The installed program converts the same sample to the same bytes.
mkdir "$work/program"
cp "$work/run/gs00233a.q00" "$work/program/"
"$prefix/bin/logsplit" -d "$work/program/gs00233a" >/dev/null
cmp -s "$work/run/gs00233a.dat" "$work/program/gs00233a.dat" ||
  fail "the example's DAT file differs from the installed program's"

echo "check-install: OK"
