#!/usr/bin/env python3
"""Turns ffprobe's JSON and packet listing of one fixture into <name>.expect,
plain "key=value" lines that the analysis tests compare with what the
analysis reports. Time stamps are the raw 33-bit values in the stream
(ffprobe unwraps them across a wrap; the stream does not)."""
import json, sys
from fractions import Fraction

name = sys.argv[1]
d = json.load(open(name + '.json'))
streams = {s['index']: s for s in d['streams']}
pts = {}
order = {}
for line in open(name + '.packets.csv'):
    parts = line.strip().split(',')
    if len(parts) < 2 or parts[1] in ('', 'N/A'):
        continue
    idx, p = int(parts[0]), int(parts[1])
    pts.setdefault(idx, []).append(p)
out = []
progs = d.get('programs', [])
for p in progs:
    out.append('program num=%d pmt=%d pcr=%d' % (p['program_num'], p['pmt_pid'], p['pcr_pid']))
for i, s in sorted(streams.items()):
    kv = ['pid=%d' % int(s['id'], 16), 'codec=%s' % s['codec_name']]
    lang = (s.get('tags') or {}).get('language')
    if lang: kv.append('lang=%s' % lang)
    if s.get('codec_type') == 'video':
        kv.append('width=%d' % s['width'])
        kv.append('height=%d' % s['height'])
        fr = Fraction(s['r_frame_rate'])
        kv.append('fps=%.3f' % float(fr))
        if s.get('display_aspect_ratio'): kv.append('aspect=%s' % s['display_aspect_ratio'])
        if s.get('profile'): kv.append('profile=%s' % s['profile'].replace(' ', '_'))
    else:
        kv.append('channels=%d' % s.get('channels', 0))
        kv.append('sample_rate=%s' % s.get('sample_rate', '0'))
        if s.get('bit_rate'): kv.append('bit_rate=%s' % s['bit_rate'])
    v = pts.get(i, [])
    if v:
        kv.append('first_pts=%d' % (min(v) % (1 << 33)))
        # The last PES packet of a run is never completed, so the analysis
        # sees the stamps of all but the last packet in file order.
        if len(v) > 1: kv.append("last_pts_but_last=%d" % (max(v[:-1]) % (1 << 33)))
        kv.append("last_pts=%d" % (max(v) % (1 << 33)))
    out.append('stream ' + ' '.join(kv))
open(name + '.expect', 'w').write('\n'.join(out) + '\n')
