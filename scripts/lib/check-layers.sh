#!/usr/bin/env bash
# Fails when a source file of a library includes a header of a layer above
# its own. The layers, lowest first: platform, basekit, society (lexikit,
# factkit, notekit), namekit, wirekit, agentkit, slotbook, eventview, outlook,
# the calendar core, the program, the tools. Tests, test support, fuzz
# targets and benchmarks may use anything and are not checked.
set -euo pipefail

root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"

# The layer of a source file, by its folder; empty for files not checked.
layer_of_file() {
  case "$1" in
    */tests/* | */testing/* | fuzz/* | bench/*) echo "" ;;
    platform/outlook/*) echo 8 ;;
    platform/*) echo 0 ;;
    toolkit/communicator/basekit/*) echo 1 ;;
    society/*) echo 2 ;;
    toolkit/communicator/namekit/*) echo 3 ;;
    toolkit/communicator/wirekit/*) echo 4 ;;
    toolkit/agentkit/*) echo 5 ;;
    calendar/slotbook/*) echo 6 ;;
    calendar/eventview/*) echo 7 ;;
    calendar/vespera/core/*) echo 9 ;;
    calendar/vespera/*) echo 10 ;;
    tools/*) echo 11 ;;
    *) echo "" ;;
  esac
}

# The layer of an included header, by its library folder; empty for
# headers outside the tree (the standard library, Qt, libical, ...).
layer_of_include() {
  case "$1" in
    platform/*) echo 0 ;;
    basekit/*) echo 1 ;;
    lexikit/* | factkit/* | notekit/* | graphstore/* | graphkit/* | eventmodel/*) echo 2 ;;
    namekit/*) echo 3 ;;
    wirekit/*) echo 4 ;;
    agentkit/*) echo 5 ;;
    slotbook/*) echo 6 ;;
    eventview/*) echo 7 ;;
    outlook/*) echo 8 ;;
    vespera/core/*) echo 9 ;;
    vespera/*) echo 10 ;;
    ansd/* | agent-tell/* | vespera-reg/*) echo 11 ;;
    *) echo "" ;;
  esac
}

failures=0
cd "$root"
while IFS= read -r file; do
  own="$(layer_of_file "$file")"
  [[ -n $own ]] || continue
  while IFS= read -r header; do
    theirs="$(layer_of_include "$header")"
    if [[ -n $theirs ]] && ((theirs > own)); then
      echo "check-layers: $file includes <$header>, a layer above its own"
      failures=$((failures + 1))
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$file")
done < <(git ls-files '*.h' '*.cpp' 2>/dev/null || find . -name '*.h' -o -name '*.cpp')

if ((failures)); then
  echo "check-layers: $failures include(s) reach up a layer"
  exit 1
fi
echo "check-layers: every library includes only its own layer and those below"
