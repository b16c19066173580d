#!/usr/bin/env bash
# cmake --install into a folder of the test's own: every file is there, the
# programs run from it and find their help pages, schedules and libraries
# there, the desktop entries pass desktop-file-validate, and the user unit
# passes systemd-analyze verify where systemd can run it here.
#
#   install-test.sh BUILD_DIR     (status 77: a tool it needs is missing)
set -uo pipefail

build="$1"
scratch="$(mktemp -d)"
prefix="$scratch/prefix with blank"
agent_pid=""
cleanup() {
  [[ -n $agent_pid ]] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

if ! command -v desktop-file-validate >/dev/null; then
  echo "SKIP: desktop-file-validate is missing (desktop-file-utils; scripts/test installs it)"
  exit 77
fi

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

expected=(
  bin/vespera bin/ansd bin/agent-tell bin/vespera-reg
  lib/orvante/libvespera_core.so lib/orvante/libvespera_ui.so lib/orvante/libplatform.so
  share/applications/orvante-vespera.desktop
  etc/xdg/autostart/orvante-vespera.desktop
  share/icons/hicolor/scalable/apps/orvante-vespera.svg
  lib/systemd/user/orvante-agent.service
  share/orvante/help/Cal/Help/index.html share/orvante/help/Cal/Help/style.css
  share/doc/orvante/README.md share/doc/orvante/copyright share/doc/orvante/changelog.gz
  share/doc/orvante/tools/ansd/README.md
)
for file in "${expected[@]}"; do
  [[ -f $prefix/$file ]] || fail "$file is not installed"
done
schedules="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../calendar/vespera/schedules" && pwd)"
for schedule in "$schedules"/*; do
  [[ -f $prefix/share/orvante/schedules/$(basename "$schedule") ]] || fail "schedule $(basename "$schedule") is not installed"
done
for program in vespera ansd agent-tell vespera-reg; do
  [[ -x $prefix/bin/$program ]] || fail "bin/$program is not executable"
done

# The entries and the unit name the installed program, whatever the prefix.
app="$prefix/share/applications/orvante-vespera.desktop"
autostart="$prefix/etc/xdg/autostart/orvante-vespera.desktop"
unit="$prefix/lib/systemd/user/orvante-agent.service"
for entry in "$app" "$autostart"; do
  desktop-file-validate "$entry" >"$scratch/validate" 2>&1 || fail "$(basename "$(dirname "$entry")") entry: $(cat "$scratch/validate")"
done
has_line() { grep -qxF -- "$2" "$1" || fail "$(basename "$1") lacks the line: $2"; }
has_line "$app" "Exec=\"$prefix/bin/vespera\" %u"
has_line "$app" "Categories=Office;Calendar;"
has_line "$app" "MimeType=text/calendar;x-scheme-handler/webcal;"
has_line "$app" "Icon=orvante-vespera"
has_line "$autostart" "Exec=\"$prefix/bin/vespera\" --autostart"
has_line "$autostart" "Hidden=true"
has_line "$unit" "ExecStart=\"$prefix/bin/vespera\" --headless"
has_line "$unit" "Restart=on-failure"
has_line "$unit" "StandardOutput=journal"
has_line "$unit" "WantedBy=default.target"

# systemd-analyze checks units only where it can start a manager of its own:
# a unit known to be sound tells whether that works here.
verify_mode=""
printf '[Service]\nExecStart=/bin/true\n' >"$scratch/probe.service"
for mode in --user --system; do
  if systemd-analyze "$mode" verify "$scratch/probe.service" >/dev/null 2>&1; then
    verify_mode="$mode"
    break
  fi
done
if [[ -n $verify_mode ]]; then
  systemd-analyze "$verify_mode" verify "$unit" >"$scratch/verify" 2>&1 || fail "systemd-analyze verify: $(cat "$scratch/verify")"
  [[ -s $scratch/verify ]] && fail "systemd-analyze has something to say: $(cat "$scratch/verify")"
else
  echo "systemd-analyze cannot verify units here; the unit's lines were checked alone"
fi

# The installed programs run on their own libraries and find their files
# below the prefix, not in the build tree.
for library in libvespera_core.so libplatform.so; do
  loaded="$(ldd "$prefix/bin/vespera" | grep -F "$library =>")"
  [[ $loaded == *"=> $prefix/bin/../lib/orvante/$library "* ]] || fail "vespera loads $library from elsewhere: $loaded"
done
help="$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/vespera" --help 2>&1)"
grep -qxF "help pages: $prefix/share/orvante/help" <<<"$help" || fail "vespera --help: $help"
grep -qxF "example schedules: $prefix/share/orvante/schedules" <<<"$help" || fail "vespera --help: $help"
"$prefix/bin/ansd" --help >/dev/null 2>&1 || fail "ansd --help"
"$prefix/bin/agent-tell" --help >/dev/null 2>&1 || fail "agent-tell --help"

# The installed agent starts for a user of its own, and ends in order.
home="$scratch/home"
mkdir -p "$home/run" && chmod 700 "$home/run"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
export ORVANTE_REGISTRY_DIR="$home/registry" ORVANTE="$home" ORVANTE_HOST_ADDRESS=127.0.0.1
export ORVANTE_STARTUP_PAUSE_MS=0 ORVANTE_SHUTDOWN_PAUSE_MS=0
mkfifo "$scratch/out"
"$prefix/bin/vespera" --headless >"$scratch/out" 2>"$scratch/agent.err" &
agent_pid=$!
ready=""
exec 3<"$scratch/out"
while read -r -t 60 line <&3; do
  [[ $line == "ready "* ]] && { ready="$line"; break; }
done
if [[ -z $ready ]]; then
  fail "the installed agent did not get ready: $(cat "$scratch/agent.err")"
else
  kill "$agent_pid"
  wait "$agent_pid"
  status=$?
  agent_pid=""
  ((status == 0)) || fail "the installed agent ended with status $status: $(cat "$scratch/agent.err")"
fi
exec 3<&-

((failed == 0)) && echo "the installation into $prefix holds every file"
((failed == 0))
