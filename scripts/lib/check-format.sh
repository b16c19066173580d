#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format makes of it
# with the tree's .clang-format, and names the files.
#
#   scripts/lib/check-format.sh [ROOT]       check
#   scripts/lib/check-format.sh --fix        format every file instead
set -euo pipefail

fix=0
if [[ "${1:-}" == "--fix" ]]; then
  fix=1
  shift
fi
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"

cd "$root"
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
if ((fix)); then
  clang-format -i "${files[@]}"
  exit 0
fi
unformatted=()
for file in "${files[@]}"; do
  clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if ((${#unformatted[@]})); then
  echo "check-format: these files are not formatted as .clang-format says (scripts/lib/check-format.sh --fix):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "check-format: every C++ file is formatted"
