#!/usr/bin/env bash
# Makes the program's notification sounds: a short chime followed by a spoken
# phrase (espeak-ng), shaped with sox to 16 kHz mono 16-bit and a gentle fade.
# The WAVs are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

make() { # name, chime (up|down|plain), phrase
    local name=$1 chime=$2 phrase=$3
    case $chime in
        up)    sox -n -r 16000 -c 1 "$tmp/c.wav" synth 0.12 sine 660 synth 0.12 sine 880 : synth 0.16 sine 990 fade 0 0.16 0.08 vol 0.4 ;;
        down)  sox -n -r 16000 -c 1 "$tmp/c.wav" synth 0.14 sine 523 : synth 0.22 sine 392 fade 0 0.22 0.1 vol 0.4 ;;
        plain) sox -n -r 16000 -c 1 "$tmp/c.wav" synth 0.18 sine 740 fade 0 0.18 0.08 vol 0.4 ;;
    esac
    espeak-ng -v en-us -s 165 -p 45 -w "$tmp/s.wav" "$phrase"
    sox "$tmp/s.wav" -r 16000 -c 1 -b 16 "$tmp/s16.wav" silence 1 0.02 0.5% reverse silence 1 0.02 0.5% reverse
    sox "$tmp/c.wav" -r 16000 -c 1 -b 16 "$tmp/c16.wav"
    sox "$tmp/c16.wav" "$tmp/s16.wav" -b 16 "$name.wav" norm -3 fade 0.005 0 0.03
}

make DONE up "Done."
make ERROR down "Error."
make FILEMERGINGFAILED down "File merging failed."
make FILEMERGINGSUCCESSFULLYCOMPLETED up "File merging successfully completed."
make OK plain "OK."
make PROBLEMSFOUND down "Problems found."
make STREAMCLEANINGFAILED down "Stream cleaning failed."
make STREAMCLEANINGSUCCESSFULLYCOMPLETED up "Stream cleaning successfully completed."
make WARNING plain "Warning."
