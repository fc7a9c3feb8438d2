#!/usr/bin/env bash
# Builds the module and its test programs and runs every test under Wine.
# On a fresh Debian machine it first installs what it needs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${YV_BUILD_DIR:-$root/build}"

bash "$root/tools/setup-debian.sh"
# The "tests" preset of CMakePresets.json: the cross build, Release, warnings
# as errors; -B puts it in this run's build folder.
cmake -S "$root" --preset tests -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
