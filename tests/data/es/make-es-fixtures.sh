#!/usr/bin/env bash
# Makes the small elementary-stream reference recordings in this folder with
# Debian's ffmpeg and stores ffprobe's JSON view of each beside it, so that the
# analysers can be compared with an independent tool. The outputs are
# committed; tests never run ffmpeg. Run again only to change the set.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

common=(-hide_banner -loglevel error -y -fflags +bitexact -flags:v +bitexact -flags:a +bitexact)
mpegts=(-f mpegts -mpegts_flags system_b -muxrate 0 -mpegts_service_id 1 -mpegts_pmt_start_pid 0x1000
        -mpegts_start_pid 0x100 -pat_period 0.1 -sdt_period 1)
video_src() { # width height rate
    echo "-f lavfi -i testsrc2=size=$1x$2:rate=$3"
}
audio_src() { # rate layout
    echo "-f lavfi -i sine=frequency=440:sample_rate=$1,aformat=channel_layouts=$2"
}

make() { # name, ffmpeg arguments...
    local name=$1; shift
    ffmpeg "${common[@]}" "$@" "${mpegts[@]}" "$name.ts"
    ffprobe -v error -probesize 50M -analyzeduration 50M -show_streams -of json "$name.ts" > "$name.json"
}

# MPEG-2 video, SD 4:3 and 16:9 at 25 fps, with MPEG-1 layer II and AC-3 2.0.
make mpeg2_sd43_mp2 $(video_src 720 576 25) $(audio_src 48000 stereo) -frames:v 8 -t 0.4 \
    -c:v mpeg2video -b:v 3M -g 4 -flags:v +ilme+ildct -aspect 4:3 \
    -c:a mp2 -b:a 128k
make mpeg2_sd169_ac3 $(video_src 720 576 25) $(audio_src 48000 stereo) -frames:v 8 -t 0.4 \
    -c:v mpeg2video -b:v 3M -g 4 -aspect 16:9 \
    -c:a ac3 -b:a 192k

# H.264 at 25 and 50 fps, 720p and 1080 lines, interlaced and full range.
make h264_1080i25_ac3_51 $(video_src 1920 1080 25) $(audio_src 48000 5.1) -t 0.48 \
    -c:v libx264 -preset veryfast -b:v 2M -maxrate 2M -bufsize 2M -profile:v high -level 4.0 -flags:v +ilme+ildct -x264-params tff=1 \
    -c:a ac3 -b:a 448k
make h264_720p50_fullrange_ac3_441 $(video_src 1280 720 50) $(audio_src 44100 stereo) -t 0.48 \
    -c:v libx264 -preset veryfast -b:v 2M -maxrate 2M -bufsize 2M -profile:v high -level 3.2 -color_range pc -pix_fmt yuvj420p \
    -c:a ac3 -b:a 256k
make h264_1080p25_eac3_51 $(video_src 1920 1080 25) $(audio_src 48000 5.1) -t 0.48 \
    -c:v libx264 -preset veryfast -b:v 2M -maxrate 2M -bufsize 2M -profile:v high -level 4.1 \
    -c:a eac3 -b:a 384k
make h264_720p25_main_mp2 $(video_src 1280 720 25) $(audio_src 48000 stereo) -t 0.48 \
    -c:v libx264 -preset veryfast -b:v 2M -maxrate 2M -bufsize 2M -profile:v main -level 3.1 \
    -c:a mp2 -b:a 192k
make h264_576i25_ac3_640 $(video_src 720 576 25) $(audio_src 48000 5.1) -t 0.48 \
    -c:v libx264 -preset veryfast -b:v 2M -maxrate 2M -bufsize 2M -profile:v main -level 3.0 -flags:v +ilme+ildct -x264-params bff=1 \
    -c:a ac3 -b:a 640k -ar 48000

ls -l ./*.ts
