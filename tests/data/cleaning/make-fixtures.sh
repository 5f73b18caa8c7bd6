#!/bin/sh
# Makes the reference recordings the cleaning tests read, with Debian's ffmpeg
# as an independent encoder and muxer. The outputs are committed, so the tests
# need no ffmpeg; run this only to renew them.
set -eu
cd "$(dirname "$0")"
FF="ffmpeg -hide_banner -loglevel error -y"
EXACT="-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1"

# H.264 that signals full-range video (video_full_range_flag 1 in every SPS),
# with MPEG audio; SPS repeated at every key frame.
$FF -f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 3 \
    -map 0:v -map 1:a $EXACT -c:v libx264 -preset ultrafast -b:v 200k -g 25 -pix_fmt yuvj420p \
    -color_range pc -x264-params fullrange=on -c:a mp2 -b:a 96k \
    -mpegts_service_id 0x55 -mpegts_pmt_start_pid 0x0100 -mpegts_start_pid 0x0200 \
    h264_fullrange.ts

# H.264 with AC-3 at a broadcast-like constant mux rate (null packets fill
# up), so PCRs follow each other at DVB-like packet distances.
$FF -f lavfi -i testsrc=size=352x288:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 3 \
    -map 0:v -map 1:a $EXACT -c:v libx264 -preset ultrafast -b:v 600k -g 25 -pix_fmt yuv420p \
    -c:a ac3 -b:a 128k -metadata:s:a:0 language=deu -muxrate 1500k \
    -mpegts_service_id 0x77 -mpegts_pmt_start_pid 0x0100 -mpegts_start_pid 0x0200 \
    h264_ac3_cbr.ts

# Two programs, each MPEG-2 video with MP2 audio, as a multiplex carries
# them: the copy keeps one program and must say what it leaves out.
$FF -f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 \
    -f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i sine=frequency=660:sample_rate=48000 -t 2 \
    -map 0:v -map 1:a -map 2:v -map 3:a $EXACT -c:v mpeg2video -b:v 200k -g 12 -c:a mp2 -b:a 96k \
    -program program_num=201:title=One:st=0:st=1 -program program_num=202:title=Two:st=2:st=3 \
    -mpegts_pmt_start_pid 0x0100 -mpegts_start_pid 0x0200 \
    two_mpeg2_programs.ts

# The same two programs at a constant mux rate: most PCRs come in packets
# that start no PES, so what follows a PCR is as often the other program.
$FF -f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 \
    -f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i sine=frequency=660:sample_rate=48000 -t 2 \
    -map 0:v -map 1:a -map 2:v -map 3:a $EXACT -c:v mpeg2video -b:v 200k -g 12 -c:a mp2 -b:a 96k \
    -program program_num=201:title=One:st=0:st=1 -program program_num=202:title=Two:st=2:st=3 \
    -mpegts_pmt_start_pid 0x0100 -mpegts_start_pid 0x0200 -muxrate 1500k -pcr_period 20 \
    two_programs_cbr.ts
ls -l *.ts
