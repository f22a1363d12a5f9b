#!/bin/sh
# Compiles every source of the library and its framework for 64-bit Windows with MinGW-w64
# (syntax and semantics only, no link): a check that nothing POSIX-only crept into them.
# Needs Debian's g++-mingw-w64-x86-64-posix. Not part of CI; run it before a release.
set -eu
cd "$(dirname "$0")/.."
CXX=${CXX:-x86_64-w64-mingw32-g++-posix}
command -v "$CXX" >/dev/null || { echo "$CXX not found (apt-get install g++-mingw-w64-x86-64-posix)" >&2; exit 2; }
status=0
for src in $(find framework datastorage calculator expressions locators domain feloads -name '*.cpp' | sort); do
    "$CXX" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -I. -DZEL_BUILDING_LIBRARY "$src" || status=1
done
[ "$status" = 0 ] && echo "all library sources compile for Windows"
exit "$status"
