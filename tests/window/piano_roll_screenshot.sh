#!/usr/bin/env bash
# Usage: piano_roll_screenshot.sh BUILD_DIR OUT.png
#
# Draws the piano roll of examples/example.mid after the "Minor Harmonic" effect with BUILD_DIR/bin/sonivex-cli
# and saves it as OUT.png, for a person to look at: the notes the effect moved are outlined, their old places
# faint. It runs with no display at all. Exits non-zero when the program fails or no picture comes out.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_DIR OUT.png" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
out=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
song="$here/../../examples/example.mid"
program="$build/bin/sonivex-cli"

if [[ ! -x $program ]]; then
  echo "$0: $program is not built" >&2
  exit 1
fi

# A program folder of its own, so other tests running at the same time keep their working copies.
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cp "$here/../../data/genmidi.ini" "$here/../../data/style1.dat" "$here/../../data/effects1.dat" "$folder/"

mkdir -p "$(dirname "$out")"
rm -f "$out"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$program" --program-folder "$folder" "$song" --effect-list "Minor Harmonic" --effect-drum off --apply-effect \
  --piano-roll "$out" >/dev/null

if [[ ! -s $out ]] || [[ $(head -c 8 "$out" | od -An -tx1 | tr -d ' \n') != 89504e470d0a1a0a ]]; then
  echo "$0: no picture in $out" >&2
  exit 1
fi
echo "$out"
