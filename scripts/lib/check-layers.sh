#!/usr/bin/env bash
# Fails when a source file of a library includes a header of a layer above
# its own, or of a folder of its own layer that stands above its folder. The
# layers, lowest first: platform, outlook (directly on platform), basekit,
# society (lexikit, notekit and graphkit; factkit and graphstore above them;
# eventmodel on top), namekit, wirekit, agentkit, slotbook, eventview, the
# calendar core, the program (webservice and browser; ui above them; the
# hosts on top), the tools. Both <...> and "..." includes count; untracked
# files are checked too. Tests, test support, fuzz targets and benchmarks may
# use anything and are not checked.
set -euo pipefail

root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"

# A rank is layer*10 + the folder's place within its layer; the folder
# itself is named beside it, as "rank folder".

# The rank of a source file, by its path in the tree; empty for files not
# checked.
rank_of_file() {
  case "$1" in
    */tests/* | */testing/* | fuzz/* | bench/*) echo "" ;;
    platform/outlook/*) echo "10 outlook" ;;
    platform/*) echo "0 platform" ;;
    toolkit/communicator/basekit/*) echo "20 basekit" ;;
    society/lexikit/* | society/notekit/* | society/graphkit/*) echo "30 ${1#society/}" ;;
    society/factkit/* | society/graphstore/*) echo "31 ${1#society/}" ;;
    society/eventmodel/*) echo "32 eventmodel" ;;
    toolkit/communicator/namekit/*) echo "40 namekit" ;;
    toolkit/communicator/wirekit/*) echo "50 wirekit" ;;
    toolkit/agentkit/*) echo "60 ${1#toolkit/}" ;;
    calendar/slotbook/*) echo "70 slotbook" ;;
    calendar/eventview/*) echo "80 eventview" ;;
    calendar/vespera/core/*) echo "90 vespera/core" ;;
    calendar/vespera/webservice/* | calendar/vespera/browser/*) echo "100 ${1#calendar/}" ;;
    calendar/vespera/ui/*) echo "101 vespera/ui" ;;
    calendar/vespera/*) echo "102 vespera" ;;
    tools/*) echo "110 ${1#tools/}" ;;
    *) echo "" ;;
  esac
}

# The rank of an included header, by its library folder; empty for headers
# outside the tree (the standard library, Qt, libical, ...).
rank_of_include() {
  case "$1" in
    platform/*) echo "0 platform" ;;
    outlook/*) echo "10 outlook" ;;
    basekit/*) echo "20 basekit" ;;
    lexikit/* | notekit/* | graphkit/*) echo "30 $1" ;;
    factkit/* | graphstore/*) echo "31 $1" ;;
    eventmodel/*) echo "32 $1" ;;
    namekit/*) echo "40 namekit" ;;
    wirekit/*) echo "50 wirekit" ;;
    agentkit/*) echo "60 $1" ;;
    slotbook/*) echo "70 slotbook" ;;
    eventview/*) echo "80 eventview" ;;
    vespera/core/*) echo "90 vespera/core" ;;
    vespera/webservice/* | vespera/browser/*) echo "100 $1" ;;
    vespera/ui/*) echo "101 vespera/ui" ;;
    vespera/*) echo "102 vespera" ;;
    ansd/* | agent-tell/* | vespera-reg/*) echo "110 $1" ;;
    *) echo "" ;;
  esac
}

# The folder a rank names: the first path part (two for vespera's parts and
# agentkit's widgets), so that a file and its header compare as folders.
folder_of() {
  local path="${1#* }"
  case "$path" in
    vespera/core/* | vespera/webservice/* | vespera/browser/* | vespera/ui/* | agentkit/widgets/*)
      echo "$path" | cut -d/ -f1-2
      ;;
    *) echo "${path%%/*}" ;;
  esac
}

# Both kinds of include of a file: "<header>" as written, and a quoted one
# resolved against the file's folder to the library path it names.
includes_of() {
  local file="$1" dir
  dir="$(dirname "$file")"
  sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/< \1/p;
          s/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/" \1/p' "$file" |
    while read -r kind header; do
      if [[ $kind == "<" ]]; then
        echo "<$header>|$(rank_of_include "$header")"
      else
        local resolved
        resolved="$(realpath -m --relative-to=. "$dir/$header")"
        echo "\"$header\"|$(rank_of_file "$resolved")"
      fi
    done
}

cd "$root"
if ! git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  echo "check-layers: $root is not a git checkout; the files to check come from git" >&2
  exit 2
fi

failures=0
while IFS= read -r file; do
  [[ -f $file ]] || continue
  own="$(rank_of_file "$file")"
  [[ -n $own ]] || continue
  while IFS='|' read -r header theirs; do
    [[ -n $theirs ]] || continue
    ownRank="${own%% *}" theirRank="${theirs%% *}"
    ownFolder="$(folder_of "$own")" theirFolder="$(folder_of "$theirs")"
    if ((theirRank / 10 > ownRank / 10)); then
      echo "check-layers: $file includes $header, a layer above its own"
      failures=$((failures + 1))
    elif ((theirRank / 10 == ownRank / 10)) && [[ $theirFolder != "$ownFolder" ]] && ((theirRank >= ownRank)); then
      echo "check-layers: $file includes $header, a folder of its own layer not below its own"
      failures=$((failures + 1))
    fi
  done < <(includes_of "$file")
done < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp')

if ((failures)); then
  echo "check-layers: $failures include(s) reach up a layer"
  exit 1
fi
echo "check-layers: every library includes only its own layer and those below"
