#!/bin/sh
# Makes the small reference recordings the stream tests read, with Debian's
# ffmpeg as an independent muxer, and ffprobe's JSON view of each, which the
# tests compare our PAT and PMT parsing with. The outputs are committed, so
# the tests need no ffmpeg; run this only to renew them.
set -eu
cd "$(dirname "$0")"

FF="ffmpeg -hide_banner -loglevel error -y"
VIDEO="-f lavfi -i testsrc=size=176x144:rate=25"
AUDIO="-f lavfi -i sine=frequency=440:sample_rate=48000"
AUDIO2="-f lavfi -i sine=frequency=880:sample_rate=48000"
# Bit-exact, repeatable output: no encoder or muxer version strings.
EXACT="-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1"

# MPEG-2 video with MPEG-1 layer II audio, our own service id and PIDs.
$FF $VIDEO $AUDIO -t 2 -map 0:v -map 1:a $EXACT \
    -c:v mpeg2video -b:v 300k -g 12 -c:a mp2 -b:a 96k -metadata:s:a:0 language=ger \
    -mpegts_service_id 0x2A -mpegts_pmt_start_pid 0x0200 -mpegts_start_pid 0x0210 \
    mpeg2_mp2.ts

# H.264 with AC-3 signalled the DVB way (stream type 6 with an AC-3 descriptor).
$FF $VIDEO $AUDIO -t 2 -map 0:v -map 1:a $EXACT \
    -c:v libx264 -preset ultrafast -b:v 200k -g 25 -pix_fmt yuv420p -c:a ac3 -b:a 96k \
    -metadata:s:a:0 language=eng -mpegts_flags system_b \
    -mpegts_service_id 0x1234 -mpegts_pmt_start_pid 0x0100 -mpegts_start_pid 0x0300 \
    h264_ac3.ts

# 192-byte packets (4-byte prefix before each packet).
$FF $VIDEO $AUDIO -t 1 -map 0:v -map 1:a $EXACT \
    -c:v mpeg2video -b:v 300k -g 12 -c:a mp2 -b:a 96k \
    -mpegts_m2ts_mode 1 -mpegts_service_id 7 \
    m2ts_192.m2ts

# Two programs in one stream.
$FF $VIDEO $AUDIO $AUDIO2 -t 1 -map 0:v -map 1:a -map 2:a $EXACT \
    -c:v mpeg2video -b:v 300k -g 12 -c:a mp2 -b:a 96k \
    -metadata:s:a:0 language=deu -metadata:s:a:1 language=fra \
    -program program_num=101:title=One:st=0:st=1 -program program_num=102:title=Two:st=2 \
    -mpegts_pmt_start_pid 0x0400 -mpegts_start_pid 0x0500 \
    two_programs.ts

# Time stamps that cross the 33-bit wrap (2^33 / 90 kHz = 95443.7 s).
$FF $VIDEO $AUDIO -t 2 -map 0:v -map 1:a $EXACT \
    -c:v mpeg2video -b:v 300k -g 12 -c:a mp2 -b:a 96k \
    -output_ts_offset 95441.5 -mpegts_service_id 9 \
    pts_wrap.ts

# The same content as mpeg2_mp2.ts in a program stream: Wine's GStreamer
# back end of DirectShow plays MPEG-2 program streams but not transport
# streams, so the preview player's tests on the real graph use this one.
$FF $VIDEO $AUDIO -t 2 -map 0:v -map 1:a $EXACT \
    -c:v mpeg2video -b:v 300k -g 12 -c:a mp2 -b:a 96k -f mpeg \
    mpeg2_mp2_ps.mpg

for f in mpeg2_mp2.ts h264_ac3.ts m2ts_192.m2ts two_programs.ts pts_wrap.ts; do
    ffprobe -v error -show_programs -show_streams -of json "$f" > "${f%.*}.json"
done
ls -l *.ts *.m2ts *.mpg *.json
