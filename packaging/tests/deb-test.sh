#!/usr/bin/env bash
# The Debian package CPack makes from the install rules: its control fields
# and contents, its programs running from the unpacked files, and lintian's
# verdict where lintian is installed (its errors fail the test; warnings and
# notes are shown).
#
#   deb-test.sh BUILD_DIR     (status 77: dpkg-deb or cpack is missing)
set -uo pipefail

build="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (dpkg-dev; scripts/test installs it)"
    exit 77
  fi
done

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
package="$(ls "$scratch"/orvante_*.deb 2>/dev/null | head -n 1)"
[[ -n $package ]] || { echo "FAIL: no package in $scratch"; exit 1; }

field() { dpkg-deb -f "$package" "$1"; }
[[ $(field Package) == orvante ]] || fail "Package: $(field Package)"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] || fail "Architecture: $(field Architecture)"
[[ -n $(field Version) ]] || fail "no Version"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
[[ $(field Description) == *$'\n'* ]] || fail "no long description"
depends="$(field Depends)"
for needed in libqt6widgets6 libqt6gui6 libical3 libcurl3-gnutls libraptor2-0 libgnutls30 libxml2 tzdata; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
[[ $(field Recommends) == *xdg-utils* ]] || fail "Recommends: $(field Recommends)"

contents="$(dpkg-deb --contents "$package" | awk '{print $6}')"
expected=(
  ./usr/bin/vespera ./usr/bin/ansd ./usr/bin/agent-tell ./usr/bin/vespera-reg
  ./usr/lib/orvante/libvespera_core.so ./usr/lib/orvante/libvespera_ui.so
  ./usr/share/applications/orvante-vespera.desktop
  ./usr/share/icons/hicolor/scalable/apps/orvante-vespera.svg
  ./etc/xdg/autostart/orvante-vespera.desktop
  ./usr/lib/systemd/user/orvante-agent.service
  ./usr/share/orvante/help/Cal/Help/index.html ./usr/share/orvante/schedules/holidays.ttl
  ./usr/share/doc/orvante/copyright ./usr/share/doc/orvante/changelog.gz
)
for file in "${expected[@]}"; do
  grep -qxF -- "$file" <<<"$contents" || fail "the package lacks $file"
done
grep -q '^\./usr/local/' <<<"$contents" && fail "files under /usr/local"
mkdir "$scratch/control"
dpkg-deb -e "$package" "$scratch/control"
grep -qxF /etc/xdg/autostart/orvante-vespera.desktop "$scratch/control/conffiles" 2>/dev/null ||
  fail "the autostart entry is no conffile"

# Unpacked, the programs run on the package's own libraries, and the
# entries name them where the package puts them.
root="$scratch/root"
dpkg-deb -x "$package" "$root"
help="$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vespera" --help 2>&1)"
grep -qxF "help pages: $root/usr/share/orvante/help" <<<"$help" || fail "the unpacked vespera --help: $help"
"$root/usr/bin/vespera-reg" --help >/dev/null 2>&1 || fail "the unpacked vespera-reg does not run"
grep -qxF 'Exec=/usr/bin/vespera %u' "$root/usr/share/applications/orvante-vespera.desktop" ||
  fail "the menu entry does not start /usr/bin/vespera"
grep -qxF 'ExecStart="/usr/bin/vespera" --headless' "$root/usr/lib/systemd/user/orvante-agent.service" ||
  fail "the unit does not start /usr/bin/vespera"

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$package" >"$scratch/lintian" 2>&1
  grep -E '^(W|I): ' "$scratch/lintian" | sed 's/^/lintian: /' | sort -u | head -n 20
  if grep -q '^E: ' "$scratch/lintian"; then
    fail "lintian: $(grep '^E: ' "$scratch/lintian")"
  fi
else
  echo "lintian is not installed: its checks are left out"
fi

((failed == 0)) && echo "the package $(basename "$package") holds every file and names its dependencies"
((failed == 0))
