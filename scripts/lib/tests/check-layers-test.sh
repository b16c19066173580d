#!/usr/bin/env bash
# Each case lays one file in a scratch checkout and says whether the layer
# check must pass (0) or refuse (1).
set -uo pipefail

check="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/check-layers.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

failed=0
expect() {
  local want="$1" file="$2" text="$3" tracked="$4"
  rm -rf "$scratch/tree" && mkdir -p "$scratch/tree" && git -C "$scratch/tree" init -q
  mkdir -p "$scratch/tree/$(dirname "$file")"
  printf '%s\n' "$text" > "$scratch/tree/$file"
  [[ $tracked == tracked ]] && git -C "$scratch/tree" add "$file"
  "$check" "$scratch/tree" > "$scratch/out" 2>&1
  local got=$?
  if ((got != want)); then
    echo "FAIL: $file ($tracked) with '$text': status $got, wanted $want"
    cat "$scratch/out"
    failed=$((failed + 1))
  fi
}

expect 0 platform/outlook/Item.h '#include <platform/DateTime.h>' tracked
expect 1 platform/outlook/Item.h '#include <basekit/LList.h>' tracked
expect 1 platform/Clock.cpp '#include "outlook/Item.h"' tracked
expect 1 platform/Clock.cpp '#include "../toolkit/agentkit/Agent.h"' untracked
expect 1 society/lexikit/Parser.cpp '#include <factkit/BeliefDB.h>' tracked
expect 0 society/factkit/BeliefDB.cpp '#include <notekit/Service.h>' tracked
expect 1 society/notekit/Service.cpp '#include <lexikit/Parser.h>' tracked
expect 1 calendar/vespera/browser/List.cpp '#include <vespera/ui/DebugDlg.h>' tracked
expect 0 calendar/vespera/ui/DebugDlg.cpp '#include <vespera/browser/List.h>' tracked
expect 0 calendar/vespera/ui/DebugDlg.cpp '#include "DebugDlg.h"' tracked
expect 0 calendar/vespera/core/tests/Any.cpp '#include <vespera/ui/DebugDlg.h>' untracked

mkdir -p "$scratch/plain"
"$check" "$scratch/plain" > /dev/null 2>&1
if (($? != 2)); then
  echo "FAIL: a folder outside a git checkout was not refused"
  failed=$((failed + 1))
fi

((failed == 0)) && echo "check-layers-test: every case as expected"
exit $((failed > 0))
