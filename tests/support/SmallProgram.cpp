// Whole small programs built from the stream builder's pieces (kept apart
// from them, so the compiler does not inline the pieces into the loop).
#include "tests/support/TsBuilder.h"

namespace tw::test {

TsStream SmallProgram(const std::vector<PmtStream>& streams, int extraPid,
                      const std::function<Bytes(int64_t pts)>& extraPes, size_t packets) {
    TsStream s;
    int64_t pts = 900000;
    while (s.PacketCount() < packets) {
        s.AddPat({{1, 0x100}});
        s.AddPmt(0x100, 1, 0x101, streams);
        for (int k = 0; k < 3; ++k) {
            Bytes es(2000, 0x11);
            es[0] = 0;
            es[1] = 0;
            es[2] = 1;
            es[3] = 0xB3;
            s.AddPes(0x101, PesPacket(0xE0, es, pts), pts * 300 - 9000 * 300);
            s.AddPes(0x102, PesPacket(0xC0, Bytes(300, 0x22), pts));
            pts += 3600;
        }
        if (extraPid >= 0) s.AddPes(extraPid, extraPes(pts));
    }
    return s;
}

} // namespace tw::test
