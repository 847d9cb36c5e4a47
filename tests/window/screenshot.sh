#!/usr/bin/env bash
# Usage: screenshot.sh BUILD_DIR OUT.png
#
# Starts BUILD_DIR/bin/sonivex on examples/example.mid on a virtual X display and saves a picture of its window
# as OUT.png, and beside it a picture of each view at 861x669 and maximised (OUT-overview-861x669.png,
# OUT-overview-maximised.png, OUT-report-..., OUT-piano-roll-...) and of the Preferences dialog
# (OUT-preferences.png), then a picture of the window with no song
# open (OUT-empty.png). The program takes the pictures itself (SONIVEX_SCREENSHOT, SONIVEX_SCREENSHOT_VIEWS)
# once the song is open, so no screen grabbing tool is needed. Exits non-zero when the program fails or a
# picture does not come out.
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
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
stem=${out%.png}
rm -f "$out" "$stem"-*.png
# The settings (the recent songs) go to a folder of this run, never to the user's own.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# The window grabs itself about 1.5 s after the open and quits; the time limit only catches a hang.
XDG_CONFIG_HOME=$config SONIVEX_SCREENSHOT=$out SONIVEX_SCREENSHOT_VIEWS=1 QT_QPA_PLATFORM=xcb \
  timeout 90 xvfb-run -a -s "-screen 0 1280x1024x24" "$program" "$song"
# A karaoke song, for the Lyrics view (saved as NAME-karaoke-*.png).
karaoke="$here/../data/midi/test-karaoke-kar.mid"
XDG_CONFIG_HOME=$config SONIVEX_SCREENSHOT=$stem-karaoke.png SONIVEX_SCREENSHOT_VIEWS=1 QT_QPA_PLATFORM=xcb \
  timeout 90 xvfb-run -a -s "-screen 0 1280x1024x24" "$program" "$karaoke"
# The empty window, the example song among its recent songs.
XDG_CONFIG_HOME=$config SONIVEX_SCREENSHOT=$stem-empty.png QT_QPA_PLATFORM=xcb \
  timeout 60 xvfb-run -a -s "-screen 0 1280x1024x24" "$program"

status=0
for picture in "$out" "$stem"-{overview,report,piano-roll}-{861x669,maximised}.png "$stem-preferences.png" \
  "$stem"-karaoke-lyrics-{861x669,maximised}.png "$stem-empty.png"; do
  if [[ ! -s $picture ]] || [[ $(head -c 8 "$picture" | od -An -tx1 | tr -d ' \n') != 89504e470d0a1a0a ]]; then
    echo "$0: no picture in $picture" >&2
    status=1
  else
    echo "$picture"
  fi
done
exit $status
