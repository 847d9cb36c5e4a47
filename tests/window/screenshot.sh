#!/usr/bin/env bash
# Usage: screenshot.sh BUILD_DIR OUT.png
#
# Starts BUILD_DIR/bin/sonivex on examples/example.mid on a virtual X display and saves a picture of its window
# as OUT.png. The program takes the picture itself (SONIVEX_SCREENSHOT) once the song is open, so no screen
# grabbing tool is needed. Exits non-zero when the program fails or no picture comes out.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_DIR OUT.png" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
out=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
song="$here/../../examples/example.mid"
program="$build/bin/sonivex"

if [[ ! -x $program ]]; then
  echo "$0: $program is not built" >&2
  exit 1
fi
if [[ ! -f $song ]]; then
  echo "$0: $song is missing" >&2
  exit 1
fi
if ! command -v xvfb-run >/dev/null; then
  echo "$0: xvfb-run is not installed" >&2
  exit 1
fi

mkdir -p "$(dirname "$out")"
rm -f "$out"
# The window grabs itself about 1.5 s after the open and quits; the time limit only catches a hang.
SONIVEX_SCREENSHOT=$(cd "$(dirname "$out")" && pwd)/$(basename "$out") QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x1024x24" "$program" "$song"

if [[ ! -s $out ]] || [[ $(head -c 8 "$out" | od -An -tx1 | tr -d ' \n') != 89504e470d0a1a0a ]]; then
  echo "$0: no picture in $out" >&2
  exit 1
fi
echo "$out"
