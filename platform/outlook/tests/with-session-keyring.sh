#!/bin/sh
# Runs a test program on a session bus of its own, with a keyring daemon
# unlocked on it and a home folder that is thrown away; where either is not
# installed, runs it as it is (its keyring tests then skip).
set -u
if ! command -v dbus-run-session >/dev/null 2>&1 || ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
  exec "$@"
fi
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home" \
  dbus-run-session -- sh -c 'printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null &&
    exec "$@"' sh "$@"
