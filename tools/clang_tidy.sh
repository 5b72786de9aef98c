#!/usr/bin/env bash
# The product's sources (not the tests, tools and Windows code) through clang-tidy with the
# checks of .clang-tidy, against the compile commands of the release build. Exits non-zero on
# any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
[ -f "$build/compile_commands.json" ] || cmake --preset release >/dev/null
files=$(git ls-files 'app/*.cpp' 'common/*.cpp' 'header/*.cpp' 'observation/*.cpp' \
  'report/*.cpp' 'platform/posix/*.cpp')
printf '%s\n' $files | xargs -P 2 -n 4 clang-tidy -p "$build" --quiet
