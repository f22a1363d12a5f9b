#!/usr/bin/env bash
# Fails when a C++ file is not in the tree's format (.clang-format): the files changed since
# BASE (a commit, e.g. origin/main) or, without BASE, every tracked .cpp and .h.
#   scripts/check-format.sh [BASE]
# To format them: the same list through `clang-format -i`.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format > /dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
if [ $# -gt 0 ]; then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi
[ ${#files[@]} -eq 0 ] && exit 0
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" > /dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: not in the tree's format (clang-format -i them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files in format"
