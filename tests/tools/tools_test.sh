#!/usr/bin/env bash
# The tools run end to end: the bad inputs users met, in one table (each row:
# the command, the exit code, the start of the line on standard error, and a
# file that must not exist afterwards); a video named with shell syntax; and
# ./play's check of the data set against the generator's manifest.
set -uo pipefail
capture="$1" scene="$2" sound="$3" assets="$4" data="$5" setup="$6"
T="$(mktemp -d)"
trap 'rm -rf "$T"' EXIT
export SDL_AUDIODRIVER=dummy
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Fixtures: a scene whose object count is -5, a regular file where a folder
# is wanted, WAV files (one cut to 500 bytes), an ffmpeg that dies at once.
python3 - "$data/pkode.3dw" "$T" <<'PY'
import struct, sys, wave, os
src, t = sys.argv[1], sys.argv[2]
d = bytearray(open(src, 'rb').read())
d[2 + 264:2 + 268] = struct.pack('<i', -5)
open(t + '/negative.3dw', 'wb').write(d)
os.makedirs(t + '/wavs')
w = wave.open(t + '/wavs/KICK.WAV', 'wb'); w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100)
w.writeframes(b'\x00\x10' * 4410); w.close()
open(t + '/wavs/cut.wav', 'wb').write(open(t + '/wavs/KICK.WAV', 'rb').read()[:500])
PY
touch "$T/afile"
mkdir "$T/fakebin"
printf '#!/bin/sh\necho "boom: no encoder here" >&2\nexit 1\n' >"$T/fakebin/ffmpeg"
chmod +x "$T/fakebin/ffmpeg"

# command | exit code | start of the error line | file that must not exist
table=(
  "$capture --data $data --video $T/missing/out.mp4 --to 1000|1|quillon-capture: $T/missing/out.mp4: No such file|$T/missing/out.mp4"
  "$capture --data $data --at 100 --sheet $T/missing/s.png|1|quillon-capture: $T/missing/s.png: No such file|$T/missing/s.png"
  "$capture --data $data --at 100 --out $T/afile/frames|1|quillon-capture: $T/afile/frames: Not a directory|$T/afile/frames"
  "env PATH=$T/fakebin:$PATH $capture --data $data --to 20000 --video $T/v.mp4|1|quillon-capture: $T/v.mp4: ffmpeg failed: boom: no encoder here|$T/v.mp4"
  "env PATH=$T/none $capture --data $data --to 1000 --video $T/w.mp4|1|quillon-capture: $T/w.mp4: --video needs ffmpeg|$T/w.mp4"
  "$capture --data $data --at 12x|2|quillon-capture: not a music position|-"
  "$scene info $data/hund.tga|217|quillon-scene: $data/hund.tga: Invalid scene data: 12016 bytes after|-"
  "$scene dump $data/music.mp3|217|quillon-scene: $data/music.mp3: Invalid scene data|-"
  "$scene info $T/negative.3dw|217|quillon-scene: $T/negative.3dw: Invalid scene data: ObjectCount is -5|-"
  "$scene copy $T/negative.3dw $T/copy.3dw|217|quillon-scene: $T/negative.3dw: Invalid scene data: ObjectCount is -5|$T/copy.3dw"
  "$scene copy $data/pkode.3dw $T/missing/copy.3dw|1|quillon-scene: $T/missing/copy.3dw: No such file|$T/missing/copy.3dw"
  "$assets $T/set --sheet $T/missing/sheet.png|1|quillon-assets: $T/missing/sheet.png: No such file|$T/set/show.manifest"
  "$assets $T/afile/set|1|quillon-assets: $T/afile/set: Not a directory|$T/afile/set"
  "$sound play $T/nowhere KICK.WAV|1|quillon-sound: $T/nowhere: no such folder|-"
  "$sound play $T/wavs nope.wav|1|quillon-sound: $T/wavs: no file called \"nope.wav\"; there are KICK.WAV, cut.wav|-"
  "$sound play $T/wavs cut.wav|1|quillon-sound: $T/wavs/cut.wav: cut short|-"
)
for row in "${table[@]}"; do
  IFS='|' read -r command code message absent <<<"$row"
  # The rows hold no quoting: every path of the fixture is free of spaces.
  $command >"$T/out" 2>"$T/err"
  got=$?
  [ "$got" = "$code" ] || fail "$command: exit $got, wanted $code ($(head -c 300 "$T/err"))"
  first="$(grep -v '^$' "$T/err" | head -1)"
  [[ "$first" == "$message"* ]] || fail "$command: said '$first', wanted '$message...'"
  [ "$absent" = "-" ] || [ ! -e "$absent" ] || fail "$command: left $absent behind"
done
[ -z "$(ls -A "$T/set" 2>/dev/null)" ] || fail "quillon-assets left files in $T/set after refusing the sheet"

# Outputs work as asked: COMMAND --help, copy to standard output, digit groups.
grep -q '^Usage: quillon-scene' <<<"$("$scene" info --help)" || fail "info --help"
"$scene" copy "$data/pkode.3dw" "$T/copy.3dw" && (cd "$T" && "$scene" copy "$data/pkode.3dw" - >"$T/stdout.3dw") &&
  cmp -s "$T/copy.3dw" "$T/stdout.3dw" && [ ! -e "$T/-" ] || fail "copy to - is not the copy on standard output"
"$capture" --data "$data" --quiet --at 1,000,000 --out "$T/grouped" || fail "--at 1,000,000"
[ "$(ls "$T/grouped")" = "01000000.png" ] || fail "--at 1,000,000 wrote $(ls "$T/grouped")"

# A video named with shell syntax is written under exactly that name and
# nothing else happens.
mkdir "$T/video" && cd "$T/video" || exit 1
name="it's; touch INJECTED; \$(touch INJECTED2) x.mp4"
"$capture" --data "$data" --quiet --to 20000 --video "$name" 2>"$T/err" || fail "video: $(cat "$T/err")"
[ "$(ls -A)" = "$name" ] || fail "video folder holds: $(ls -A)"
[ -s "$name" ] && [ "$(head -c 8 "$name" | tail -c 4)" = "ftyp" ] || fail "no MP4 under the given name"
cd "$T" || exit 1

# ./play's data set: made when missing, made again when a file is gone or
# changed, trusted when it matches its manifest.
# shellcheck source=/dev/null
QUILLON_ROOT=/nonexistent source "$setup"
# The whole output is kept before it is searched: "grep -q" on a pipe would
# stop reading at its first match and the generator would die of SIGPIPE.
refresh() { (quillon_refresh_data "$assets" "$T/show" "$T/show.stamp") 2>&1; }
grep -q "generating the data set" <<<"$(refresh)" || fail "the first run did not generate the set"
quillon_data_complete "$T/show" || fail "the generated set does not match its manifest"
rm "$T/show/party.tga"
quillon_data_complete "$T/show" && fail "a set without party.tga passed the check"
grep -q "generating the data set" <<<"$(refresh)" || fail "a missing party.tga was not generated again"
[ -s "$T/show/party.tga" ] || fail "party.tga is still missing"
printf 'x' >>"$T/show/cam.3dw"
mkdir "$T/show/.quillon-assets-999999999"  # left by a run that was killed
grep -q "generating the data set" <<<"$(refresh)" || fail "a changed cam.3dw was not generated again"
[ ! -e "$T/show/.quillon-assets-999999999" ] || fail "a killed run's folder was left in the set"
[ -z "$(refresh)" ] || fail "a whole set was generated again"
[ "$(quillon_hint_sound --no-sound 2>&1)" = "" ] || fail "the sound hint shows with --no-sound"
if ! compgen -G "/dev/snd/pcmC*p" >/dev/null; then
  hint="$(env -u SDL_AUDIODRIVER -u PULSE_SERVER XDG_RUNTIME_DIR="$T" bash -c "source '$setup'; quillon_hint_sound" 2>&1)"
  [[ "$hint" == *"SDL_AUDIODRIVER=dummy ./play"* && "$hint" == *"--no-sound"* ]] || fail "no sound hint: '$hint'"
fi

[ "$failures" -eq 0 ] && echo "all tool checks passed"
exit "$((failures > 0))"
