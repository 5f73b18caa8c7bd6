#!/bin/sh
# Makes the small recordings the analysis tests read, and ffprobe's view of
# each (<name>.json) as the independent reference. Run from anywhere; the
# outputs are committed, so the tests never need ffmpeg.
set -e
cd "$(dirname "$0")"
FF="ffmpeg -hide_banner -loglevel error -y"
V="-f lavfi -i testsrc=size=720x576:rate=25:duration=3"
V2="-f lavfi -i testsrc=size=352x288:rate=25:duration=3"
A="-f lavfi -i sine=frequency=440:sample_rate=48000:duration=3"
A2="-f lavfi -i sine=frequency=660:sample_rate=48000:duration=3"

# H.264 (High, 720x576, 25 fps) with AC-3 5.1 (deu) and MP2 stereo (eng).
$FF $V $A $A2 -map 0:v -map 1:a -map 2:a \
  -c:v libx264 -profile:v high -level 3.0 -preset veryfast -g 25 -pix_fmt yuv420p \
  -c:a:0 ac3 -ac:a:0 6 -b:a:0 384k -c:a:1 mp2 -ac:a:1 2 -b:a:1 192k \
  -metadata:s:a:0 language=deu -metadata:s:a:1 language=eng \
  -f mpegts h264_ac3_mp2.ts

# MPEG-2 video 720x576 4:3, 25 fps, with MP2 (fre).
$FF $V $A -map 0:v -map 1:a -c:v mpeg2video -b:v 2M -aspect 4:3 -g 12 \
  -c:a mp2 -b:a 192k -metadata:s:a:0 language=fre -f mpegts mpeg2_mp2.ts

# H.264 352x288 with AAC and E-AC-3 stereo.
$FF $V2 $A $A2 -map 0:v -map 1:a -map 2:a -c:v libx264 -profile:v main -preset veryfast -g 25 -pix_fmt yuv420p \
  -c:a:0 aac -b:a:0 128k -c:a:1 eac3 -ac:a:1 2 -b:a:1 192k -f mpegts h264_aac_eac3.ts

# Two programs: H.264 + AC-3 stereo in program 1, MPEG-2 + MP2 in program 2.
$FF $V2 $A $V2 $A2 -map 0:v -map 1:a -map 2:v -map 3:a \
  -c:v:0 libx264 -preset veryfast -pix_fmt yuv420p -c:v:1 mpeg2video -b:v:1 1M \
  -c:a:0 ac3 -ac:a:0 2 -b:a:0 192k -c:a:1 mp2 \
  -program title=One:st=0:st=1 -program title=Two:st=2:st=3 -f mpegts two_programs.ts

# 192-byte packets (M2TS).
$FF $V2 $A -map 0:v -map 1:a -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a ac3 -ac 2 -b:a 192k \
  -f mpegts -mpegts_m2ts_mode 1 m2ts_192.m2ts

# PCR and PTS wrap: time stamps start 2 s before 2^33 ticks of 90 kHz.
$FF $V2 $A -map 0:v -map 1:a -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a ac3 -ac 2 -b:a 192k \
  -output_ts_offset 95441.7 -f mpegts pcr_wrap.ts

for f in *.ts *.m2ts; do
  ffprobe -v error -show_programs -show_streams -show_format -of json "$f" > "${f%.*}.json"
  ffprobe -v error -show_entries packet=stream_index,pts,dts -of csv=p=0 "$f" > "${f%.*}.packets.csv"
  python3 expect_from_ffprobe.py "${f%.*}"
done

# ffprobe's view of the stream library's fixtures (tests/data), for the same
# comparison; their recordings stay where they are.
for f in ../*.ts ../*.m2ts; do
  n="lib_$(basename "${f%.*}")"
  ffprobe -v error -show_programs -show_streams -show_format -of json "$f" > "$n.json"
  ffprobe -v error -show_entries packet=stream_index,pts,dts -of csv=p=0 "$f" > "$n.packets.csv"
  python3 expect_from_ffprobe.py "$n"
done
