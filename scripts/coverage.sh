#!/usr/bin/env bash
# Line coverage of the library folders by the tests: builds and runs the coverage preset
# (gcc --coverage), then gcovr (Debian: gcovr) summarises the lines of framework/,
# datastorage/, calculator/, expressions/, locators/, domain/ and feloads/ that the tests run.
#   scripts/coverage.sh            # prints the summary; build/coverage/coverage.txt per file
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gcovr > /dev/null || { echo "coverage: gcovr is not installed (apt-get install gcovr)" >&2; exit 1; }
find build/coverage -name '*.gcda' -delete 2> /dev/null || true
cmake --workflow --preset coverage
filters=()
for d in framework datastorage calculator expressions locators domain feloads; do filters+=(--filter "$d/"); done
gcovr --root . "${filters[@]}" --exclude 'tests/' --object-directory build/coverage \
      --txt build/coverage/coverage.txt --print-summary -j 2 build/coverage | tail -n 3
