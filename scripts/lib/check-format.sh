#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format makes of it
# with the tree's .clang-format, and names the files. `--fix` formats them.
set -euo pipefail

root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
fix=0
[[ "${2:-}" == "--fix" || "${1:-}" == "--fix" ]] && fix=1
[[ "${1:-}" == "--fix" ]] && root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

cd "$root"
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
if ((fix)); then
  clang-format -i "${files[@]}"
  exit 0
fi
unformatted=()
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    unformatted+=("$file")
  fi
done
if ((${#unformatted[@]})); then
  echo "check-format: these files are not formatted as .clang-format says (scripts/lib/check-format.sh --fix):"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "check-format: every C++ file is formatted"
