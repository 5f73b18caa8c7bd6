// A second process for the window tests: sends or posts the skin's message
// with a sub-command and an LParam that mean nothing in the receiving
// process, as any program on the desktop could.
//   ForeignSender <send|post> <window handle> <sub-command> <lparam>
// Exit code: the receiver's answer (sent), 0 (posted), 200 on failure.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 5)
        return 200;
    const bool post = std::strcmp(argv[1], "post") == 0;
    HWND wnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 0)));
    const WPARAM wp = WPARAM(std::strtoul(argv[3], nullptr, 0)) << 16;
    const LPARAM lp = LPARAM(std::strtoull(argv[4], nullptr, 0));
    if (post)
        return PostMessageW(wnd, 0xA100, wp, lp) ? 0 : 200;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(wnd, 0xA100, wp, lp, SMTO_ABORTIFHUNG, 10000, &answer))
        return 200;
    return int(answer & 0xFF);
}
