#!/bin/sh
# Runs a test program on a session bus of its own, with a home folder that
# is thrown away; with --keyring, a keyring daemon is unlocked on the bus
# first. Where the bus (or the keyring) is not installed, runs the program
# as it is: its tests of the session then skip.
#
#   with-session-bus.sh [--keyring] PROGRAM [ARGUMENTS...]
set -u
keyring=0
if [ "${1:-}" = "--keyring" ]; then
  keyring=1
  shift
fi
if ! command -v dbus-run-session >/dev/null 2>&1 ||
   { [ "$keyring" = 1 ] && ! command -v gnome-keyring-daemon >/dev/null 2>&1; }; then
  exec "$@"
fi
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
if [ "$keyring" = 1 ]; then
  HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home" \
    dbus-run-session -- sh -c 'printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null &&
      exec "$@"' sh "$@"
else
  HOME="$home" XDG_RUNTIME_DIR="$home" dbus-run-session -- "$@"
fi
