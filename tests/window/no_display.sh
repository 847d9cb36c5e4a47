#!/usr/bin/env bash
# Usage: no_display.sh BUILD_DIR
# The window started where there is no display says so in one line that points to sonivex-cli, and exits 1.
set -euo pipefail
program="$1/bin/sonivex"
err=$(mktemp)
trap 'rm -f "$err"' EXIT
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" >/dev/null 2>"$err"
status=$?
set -e
lines=$(wc -l <"$err")
if [[ $status != 1 || $lines != 1 ]] || ! grep -q '^sonivex: no display to show the window on (DISPLAY is not set); sonivex-cli FILE' "$err"; then
  echo "no_display: status $status, $lines lines:" >&2
  cat "$err" >&2
  exit 1
fi
# A display that cannot be opened is named.
set +e
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4711 "$program" >/dev/null 2>"$err"
status=$?
set -e
if [[ $status != 1 ]] || ! grep -q '^sonivex: the display :4711 cannot be opened; sonivex-cli FILE' "$err" || [[ $(wc -l <"$err") != 1 ]]; then
  echo "no_display: an unreachable display: status $status:" >&2
  cat "$err" >&2
  exit 1
fi
echo "no_display: one line and status 1"
