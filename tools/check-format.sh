#!/usr/bin/env bash
# Checks that every tracked C++ file follows .clang-format. Prints each file
# that clang-format would change and exits non-zero when there is one; fix
# them with  clang-format -i FILE...
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed (bash tools/setup-debian.sh installs it)" >&2
  exit 2
fi
# A broken .clang-format would otherwise show as every file differing.
clang-format --dump-config >/dev/null

folders=(src include tools tests bench)
patterns=()
for folder in "${folders[@]}"; do
  patterns+=("$folder/*.cpp" "$folder/*.h")
done

files=()
while IFS= read -r -d '' file; do
  # A file deleted in the working tree but not yet in the index is no longer
  # part of the build.
  if [ -f "$file" ]; then
    files+=("$file")
  fi
done < <(git ls-files -z -- "${patterns[@]}")
checked=${#files[@]}
[ "$checked" -gt 0 ] || { echo "check-format: no C++ files found" >&2; exit 2; }

# One clang-format run for all files: it reports every line to change as
# FILE:LINE:COLUMN: error: ..., and goes on after a file that differs.
report="$(clang-format --dry-run --Werror "${files[@]}" 2>&1)" && status=0 || status=$?
mapfile -t differing < <(printf '%s\n' "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*/\1/p' | uniq)
if [ "$status" -ne 0 ] && [ ${#differing[@]} -eq 0 ]; then
  printf '%s\n' "$report" >&2
  echo "check-format: clang-format failed" >&2
  exit 2
fi

if [ ${#differing[@]} -gt 0 ]; then
  printf '%s\n' "${differing[@]}"
  echo "check-format: ${#differing[@]} of $checked files differ from .clang-format; fix them with:" >&2
  echo "  clang-format -i ${differing[*]}" >&2
  exit 1
fi
echo "check-format: all $checked files follow .clang-format"
