#!/usr/bin/env bash
# Makes the recorded sounds of the sound pool: resources/sounds/NAME.mp3.
# Words and numbers are spoken in Mandarin by espeak-ng, the blowing noise and
# the closing chime are synthesised by sox; everything is encoded by lame as
# small mono MP3s. Same tools, same bytes: sox runs in repeatable mode (fixed
# noise seed) and a file is only replaced when its new bytes differ, so a
# second run leaves the tree untouched.
#   tools/make-sounds.sh [OUTPUT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/../resources/sounds"}
mkdir -p "$out"
out=$(cd "$out" && pwd)

for tool in espeak-ng sox lame cmp; do
  command -v "$tool" >/dev/null || { echo "make-sounds: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rate=22050
# The Mandarin voice that reads the characters through their pinyin; the
# plain "cmn" voice spells many of these characters' pinyin out in English.
voice=cmn-latn-pinyin

encode() { # wav mp3
  lame --quiet --noreplaygain -m m -b 32 --resample 22.05 "$1" "$2"
}

speak() { # name text
  local raw="$work/$1.raw.wav" wav="$work/$1.wav"
  espeak-ng -v "$voice" -s 150 -w "$raw" "$2"
  # Announcements join several words, so each word is cut to its voice with
  # only a short breath of silence on either side.
  sox -R "$raw" -r "$rate" -c 1 "$wav" \
    silence 1 0.01 0.5% reverse silence 1 0.01 0.5% reverse \
    gain -n -1 pad 0.03 0.05
  encode "$wav" "$work/$1.mp3"
}

# Breath through the lips: band-limited pink noise with a slow swell and
# fall. Both ends fade to silence, so the loop restarts without a click.
blow() {
  local wav="$work/blow.wav"
  sox -R -n -r "$rate" -c 1 "$wav" synth 1.6 pinknoise \
    highpass 250 lowpass 2800 tremolo 3 20 \
    fade q 0.35 1.6 0.45 gain -n -6
  encode "$wav" "$work/blow.mp3"
}

# A rising major triad of soft bell tones (C6, E6, G6), each decaying.
chime() {
  local notes=(1046.50 1318.51 1567.98) i=0 parts=()
  for f in "${notes[@]}"; do
    local part="$work/chime$i.wav"
    sox -R -n -r "$rate" -c 1 "$part" synth 0.9 sine "$f" \
      fade l 0.005 0.9 0.85 pad "$(echo "$i * 0.12" | bc -l)" 0
    parts+=("$part")
    i=$((i + 1))
  done
  sox -R -m "${parts[@]}" "$work/blew_result.wav" gain -n -3 fade t 0 0 0.05
  encode "$work/blew_result.wav" "$work/blew_result.mp3"
}

speak zuvo_bp_h "收缩压"
speak zuvo_bp_l "舒张压"
speak zuvo_bp "血压"
speak zuvo_hr "心率"
speak zuvo_kpa "千帕"
speak zuvo_mmhg "毫米汞柱"
digits=(零 一 二 三 四 五 六 七 八 九)
for n in 0 1 2 3 4 5 6 7 8 9; do
  speak "zuvo_num_$n" "${digits[$n]}"
done
speak zuvo_num_10 "十"
for n in 2 3 4 5 6 7 8 9; do
  speak "zuvo_num_${n}0" "${digits[$n]}十"
done
speak zuvo_num_100 "一百"
speak zuvo_num_200 "二百"
speak zuvo_tru "测量结果为"
speak zuvo_yours "您的"
blow
chime

changed=0
for mp3 in "$work"/*.mp3; do
  name=$(basename "$mp3")
  if ! cmp -s "$mp3" "$out/$name"; then
    cp "$mp3" "$out/$name"
    changed=$((changed + 1))
  fi
done
echo "make-sounds: $(ls "$work"/*.mp3 | wc -l) sounds, $changed written to $out"
