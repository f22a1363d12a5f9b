#!/usr/bin/env bash
# Runs the checks of .clang-tidy over the library and host sources of a configured build
# (its compile_commands.json) and fails on any finding.
#   scripts/tidy.sh [BUILD_DIR]      (default build/ci)
# Needs clang-tidy 15 or later: 14 cannot parse libstdc++ 12's std::source_location.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
[ -f "$build/compile_commands.json" ] || { echo "tidy: no $build/compile_commands.json (configure a preset first)" >&2; exit 1; }
runner=""
for v in 19 18 17 16 15; do
  if command -v "run-clang-tidy-$v" > /dev/null && command -v "clang-tidy-$v" > /dev/null; then
    runner="run-clang-tidy-$v -clang-tidy-binary clang-tidy-$v"
    break
  fi
done
[ -n "$runner" ] || { echo "tidy: no clang-tidy 15 or later (Debian: apt-get install clang-tidy-16)" >&2; exit 1; }
folders='framework|datastorage|calculator|expressions|locators|domain|feloads|host'
# The build's gcc-only warning options mean nothing to clang.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! $runner -p "$build" -quiet -j 2 -extra-arg=-Wno-unknown-warning-option "^$PWD/($folders)/" > "$log" 2>&1; then
  grep -E "(warning|error):" "$log" | sort -u >&2 || cat "$log" >&2
  echo "tidy: findings above" >&2
  exit 1
fi
echo "tidy: no findings"
