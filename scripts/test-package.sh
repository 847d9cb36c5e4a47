#!/usr/bin/env bash
# Usage: test-package.sh [BUILD_DIR]     (as root; BUILD_DIR defaults to build-package)
#
# Builds the Debian package with cpack, installs it with apt, and runs the installed programs as a non-root
# user on songs whose paths hold a blank and a non-ASCII letter:
# - the installed sonivex-cli prints the same report and messages as the build tree's, and leaves only its
#   log behind (its run folder is private and removed), and draws a piano roll through its helper program;
# - 8 runs at once on 8 different songs print exactly what the same runs print one after the other;
# - the installed window starts under Xvfb, opens the song and saves a picture of itself.
# The user's runs get a home, an XDG_RUNTIME_DIR and a TMPDIR of their own in the script's temp folder, so
# nothing of them lands in a real home or in /tmp. At the end, whatever happened, the package is purged
# (with the packages that apt installed for it alone), the test user is removed when this script made it, and
# the temp folder goes: the script leaves nothing behind but its build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-package}
user=sonivextest
other=sonivexother  # a second user who shares folders with the first
export DEBIAN_FRONTEND=noninteractive

if [[ $(id -u) -ne 0 ]]; then
  echo "$0: run as root (it installs the package and makes a test user)" >&2
  exit 2
fi

echo "== building the Debian package in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)" --target sonivex sonivex-cli sonivex-cli-extras
rm -f "$build"/sonivex_*.deb
(cd "$build" && cpack -G DEB)
deb=$(realpath "$(ls "$build"/sonivex_*_*.deb)")
echo "built $deb"

installed_packages() { dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }
packages_before=$(installed_packages)
work=$(mktemp -d /tmp/sonivex-package.XXXXXX)
made_user=0
made_other=0
# Waits up to 10 s for the test user's processes to end (xvfb-run returns before its X server has gone).
user_processes_ended() {
  local i
  for i in $(seq 50); do
    pgrep -u "$user" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}
cleanup() {
  apt-get purge -y sonivex >/dev/null 2>&1 || true
  # The dependencies that apt installed for the package (none where scripts/install-deps.sh ran).
  local pulled
  pulled=$(comm -13 <(echo "$packages_before") <(installed_packages) | comm -12 - <(apt-mark showauto | sort)) || true
  if [[ -n $pulled ]]; then
    # shellcheck disable=SC2086
    apt-get purge -y $pulled >/dev/null 2>&1 || true
  fi
  if [[ $made_user == 1 ]]; then
    user_processes_ended || true
    # What its runs left in the temp folders of the system (the X server's /tmp/.X11-unix when it made it).
    find /tmp /var/tmp -xdev -user "$user" -delete 2>/dev/null || true
    userdel "$user" >/dev/null 2>&1 || true  # and its group; it has no home or mail spool
  fi
  if [[ $made_other == 1 ]]; then
    find /tmp /var/tmp -xdev -user "$other" -delete 2>/dev/null || true
    userdel "$other" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "test-package: $*" >&2
  exit 1
}

echo "== the package's fields and files"
fields=$(dpkg-deb --field "$deb" Package Version Architecture Maintainer Depends Recommends Description)
echo "$fields"
for want in 'libqt6widgets6' 'libfluidsynth3' 'qt6-qpa-plugins' 'Recommends: fluid-soundfont-gm' 'Maintainer: '; do
  grep -q -- "$want" <<<"$fields" || fail "the package does not declare $want"
done
contents=$(dpkg-deb --contents "$deb")
for path in ./usr/bin/sonivex ./usr/bin/sonivex-cli ./usr/share/sonivex/genmidi.ini ./usr/share/sonivex/style1.dat \
  ./usr/share/sonivex/effects1.dat ./usr/share/applications/sonivex.desktop \
  ./usr/share/icons/hicolor/scalable/apps/sonivex.svg ./usr/share/icons/hicolor/48x48/apps/sonivex.png \
  ./usr/share/icons/hicolor/256x256/apps/sonivex.png ./usr/share/man/man1/sonivex-cli.1; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q ' ./usr/lib/.*sonivex/sonivex-cli-extras$' <<<"$contents" || fail "the package lacks sonivex-cli-extras"

echo "== installing it with apt"
apt-get install -y "$deb"
[[ -x /usr/bin/sonivex-cli && -x /usr/bin/sonivex ]] || fail "the programs were not installed"
grep -q '^MimeType=.*audio/midi;' /usr/share/applications/sonivex.desktop || fail "the desktop entry lacks audio/midi"

if ! id "$user" >/dev/null 2>&1; then
  useradd --no-create-home --home-dir /nonexistent "$user"
  made_user=1
fi
if ! id "$other" >/dev/null 2>&1; then
  useradd --no-create-home --home-dir /nonexistent "$other"
  made_other=1
fi

# Songs of 1 to 8 tracks, each track with its own channel, notes and length.
songs="$work/Lieder für alle"
mkdir -p "$songs"
/usr/bin/python3 - "$songs" <<'EOF'
import struct, sys
def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)
for count in range(1, 9):
    tracks = b""
    for t in range(count):
        channel = t % 16
        events = vlq(0) + bytes([0xC0 | channel, (t * 7 + count) % 128])
        for i in range(4 + t + count):
            events += vlq(0) + bytes([0x90 | channel, 40 + (i * 5 + t) % 40, 64 + t])
            events += vlq(96 * (1 + (i + t) % 3)) + bytes([0x80 | channel, 40 + (i * 5 + t) % 40, 0])
        events += vlq(0) + b"\xff\x2f\x00"
        tracks += b"MTrk" + struct.pack(">I", len(events)) + events
    with open(f"{sys.argv[1]}/song {count} ä.mid", "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 1, count, 96) + tracks)
EOF
chmod -R a+rX "$work"
out="$work/out"
mkdir -p "$out"
chown "$user" "$out"
# The user's own folders, private as a login would make them (Qt wants XDG_RUNTIME_DIR with mode 700, else it
# makes /tmp/runtime-USER).
home="$work/home"
runtime="$work/runtime"
user_tmp="$work/tmp"
mkdir -m 700 "$home" "$runtime" "$user_tmp"
chown "$user:" "$home" "$runtime" "$user_tmp"
as_user() {
  runuser -u "$user" -- env -u XDG_CONFIG_HOME -u XDG_STATE_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME \
    HOME="$home" XDG_RUNTIME_DIR="$runtime" TMPDIR="$user_tmp" "$@"
}

echo "== the installed sonivex-cli against the build tree's, as $user"
song="$songs/song 5 ä.mid"
as_user /usr/bin/sonivex-cli --seed 7 "$song" --copy-track 0 --copy >"$out/installed.txt" 2>"$out/installed.err" ||
  fail "the installed sonivex-cli failed: $(cat "$out/installed.err")"
env -u XDG_CONFIG_HOME -u XDG_STATE_HOME HOME="$work/root-home" "$build/bin/sonivex-cli" --seed 7 "$song" --copy-track 0 --copy >"$out/built.txt" 2>"$out/built.err"
diff "$out/built.txt" "$out/installed.txt" || fail "the installed program's report differs from the build tree's"
diff "$out/built.err" "$out/installed.err" || fail "the installed program's messages differ from the build tree's"
grep -q "^File        : $song\$" "$out/installed.txt" || fail "the report does not name $song"
grep -q '^Total Tracks: 6$' "$out/installed.txt" || fail "the copied track is missing from the report"
state="$home/.local/state/sonivex"
[[ -f "$state/logs/song 5 ä.txt" ]] || fail "no log in $state/logs"
[[ $(stat -c %a "$state/run") == 700 ]] || fail "$state/run is not private"
[[ -z $(ls -A "$state/run") ]] || fail "a run folder was left in $state/run"
as_user /usr/bin/sonivex-cli --version | grep -q '^sonivex-cli [0-9]' || fail "--version"
# The piano roll comes from the helper program in the library folder, found from the installed tool.
as_user /usr/bin/sonivex-cli "$song" --piano-roll "$out/roll ä.png" --size 320x200 >/dev/null 2>"$out/roll.err" ||
  fail "--piano-roll failed: $(cat "$out/roll.err")"
[[ $(head -c 4 "$out/roll ä.png" | tail -c 3) == PNG ]] || fail "--piano-roll wrote no PNG"
set +e
as_user /usr/bin/sonivex-cli "$songs" >/dev/null 2>"$out/folder.err"
status=$?
set -e
[[ $status == 1 ]] && grep -q "is a folder, not a MIDI file" "$out/folder.err" || fail "a folder as FILE: status $status"

echo "== 8 runs at once against the same runs one after the other"
run_one() { as_user /usr/bin/sonivex-cli --seed 3 "$songs/song $1 ä.mid" --copy-track 0 --copy --switch-track 0 --switch; }
for i in 1 2 3 4 5 6 7 8; do
  run_one "$i" >"$out/one-by-one-$i.txt" 2>"$out/one-by-one-$i.err" || fail "run $i failed"
done
pids=()
for i in 1 2 3 4 5 6 7 8; do
  run_one "$i" >"$out/at-once-$i.txt" 2>"$out/at-once-$i.err" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || fail "a run at once failed"; done
for i in 1 2 3 4 5 6 7 8; do
  cmp -s "$out/one-by-one-$i.txt" "$out/at-once-$i.txt" || fail "song $i: the report of the run at once differs"
  cmp -s "$out/one-by-one-$i.err" "$out/at-once-$i.err" || fail "song $i: the messages of the run at once differ"
  grep -q "^Total Tracks: $((i + 1))\$" "$out/at-once-$i.txt" || fail "song $i: wrong track count"
done
[[ -z $(ls -A "$state/run") ]] || fail "a run folder was left in $state/run"

echo "== links that $other plants in folders shared with $user"
# The first user's private files, which nothing the second user plants may change.
secret="$home/secret.txt"
echo secret >"$secret"
chown "$user:" "$secret"
chmod 600 "$secret"
fingerprint() { (cd "$home" && find . -path ./.local -prune -o -printf '%p %m %s %T@\n' | sort && cat secret.txt); }
before=$(fingerprint)
# A program folder and a folder for saved songs that both users may write to, as /tmp is.
shared="$work/shared"
program="$shared/program"
saved="$shared/saved"
mkdir -p "$program" "$saved"
chmod 1777 "$shared" "$program" "$saved"
cp /usr/share/sonivex/genmidi.ini /usr/share/sonivex/style1.dat /usr/share/sonivex/effects1.dat "$program/"
as_other() { runuser -u "$other" -- "$@"; }
# A logs folder that is a link to the first user's home: the run stops before it writes anything.
as_other ln -s "$home" "$program/logs"
set +e
as_user /usr/bin/sonivex-cli --program-folder "$program" "$song" >/dev/null 2>"$out/planted-logs.err"
status=$?
set -e
[[ $status == 1 ]] || fail "a planted logs link: status $status"
grep -q "Cannot use the folder $program/logs: it is a link, not a folder" "$out/planted-logs.err" ||
  fail "a planted logs link: $(cat "$out/planted-logs.err")"
as_other rm "$program/logs"
# The working files and the save's scratch file as links to the private file, and a song name that leads
# there too.
for name in sonivex-temp.tmp dffhedc; do as_other ln -s "$secret" "$program/$name"; done
as_other ln -s "$secret" "$saved/.mine.mid.sonivex-saving"
as_other ln -s "$secret" "$saved/planted.mid"
set +e
as_user /usr/bin/sonivex-cli --program-folder "$program" "$song" --copy --save "$saved/mine.mid" >/dev/null 2>"$out/planted-work.err"
status=$?
set -e
# The working copy cannot take the place of another user's file in a folder with the sticky bit: the song
# is refused, with the reason.
[[ $status == 4 ]] || fail "planted working files: status $status: $(cat "$out/planted-work.err")"
grep -q "Cannot make the working copy in $program: Operation not permitted" "$out/planted-work.err" ||
  fail "planted working files: $(cat "$out/planted-work.err")"
as_other rm "$program/sonivex-temp.tmp"
as_user /usr/bin/sonivex-cli --program-folder "$program" "$song" --copy --save "$saved/mine.mid" >/dev/null 2>"$out/save.err" ||
  fail "a save beside planted links failed: $(cat "$out/save.err")"
[[ -f "$saved/mine.mid" && ! -L "$saved/mine.mid" ]] || fail "the saved song is not a file of its own"
[[ $(stat -c %U "$saved/mine.mid") == "$user" ]] || fail "the saved song is not $user's"
set +e
as_user /usr/bin/sonivex-cli --yes --program-folder "$program" "$song" --save "$saved/planted.mid" >/dev/null 2>"$out/planted-save.err"
status=$?
set -e
[[ $status == 4 ]] || fail "a save to another user's link: status $status"
grep -q "planted.mid could not be saved: it is another user's link" "$out/planted-save.err" ||
  fail "a save to another user's link: $(cat "$out/planted-save.err")"
[[ $(fingerprint) == "$before" ]] || fail "the runs changed the first user's files through planted links"
# Saving over the user's own private song keeps its mode.
cp "$song" "$home/private.mid"
chown "$user:" "$home/private.mid"
chmod 600 "$home/private.mid"
as_user /usr/bin/sonivex-cli --yes "$home/private.mid" --copy --save "$home/private.mid" >/dev/null 2>&1 ||
  fail "saving over the user's own song failed"
[[ $(stat -c %a "$home/private.mid") == 600 ]] || fail "the saved song lost its mode 600"
# Runs that share one program folder take turns: 6 at once save exactly what each saves alone.
for i in 1 2 3 4 5 6; do
  as_user /usr/bin/sonivex-cli --seed 5 --program-folder "$program" "$songs/song $i ä.mid" --copy --save "$out/alone-$i.mid" \
    >/dev/null 2>&1 || fail "run $i in the shared program folder failed"
done
pids=()
for i in 1 2 3 4 5 6; do
  as_user /usr/bin/sonivex-cli --seed 5 --program-folder "$program" "$songs/song $i ä.mid" --copy --save "$out/together-$i.mid" \
    >/dev/null 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || fail "a run at once in the shared program folder failed"; done
for i in 1 2 3 4 5 6; do
  cmp -s "$out/alone-$i.mid" "$out/together-$i.mid" || fail "song $i: runs at once in one program folder saved another song"
done

echo "== the installed window under Xvfb, as $user"
as_user env SONIVEX_SCREENSHOT="$out/window.png" SONIVEX_AUDIO=none xvfb-run -a /usr/bin/sonivex "$song" ||
  fail "the installed window failed"
[[ -s "$out/window.png" ]] || fail "the window saved no picture"
[[ -z $(ls -A "$state/run") ]] || fail "the window left its run folder in $state/run"

user_processes_ended || fail "processes of $user still run: $(pgrep -a -u "$user")"
# Only Xvfb's socket folder, which the first X server of the machine makes, may be the user's.
left=$(find /tmp /var/tmp -xdev -user "$user" -not -path "$work/*" -not -path /tmp/.X11-unix 2>/dev/null) || true
[[ -z $left ]] || fail "the runs as $user left files outside their folders: $left"

echo "== removing the package"
apt-get purge -y sonivex
[[ ! -e /usr/bin/sonivex-cli ]] || fail "the package was not removed"
echo "test-package: all checks passed"
