// The main window's Tools menu for the packet tools: the packet filter, the
// low-level structure fix, the packet protocol, the duplicate finder and the
// packet editor. They use the main window's readers (of its analysis
// engine), its open dialog, its progress and log windows.
#pragma once

namespace tw {

class TForm1;
class TMenuItem;

// Adds the items to the Tools menu (and shows the menu): "TS Packet Filter"
// and "TS Packet Editor" visible; the structure fix, the protocol and the
// duplicate finder present but not visible.
void AddPacketToolItems(TForm1& form, TMenuItem* tools);

void SPacketFilter1Click(TForm1& form);
void SLowLevelFormat1Click(TForm1& form);
void SPacketprotocoll1Click(TForm1& form);
void SDuplicateFinder1Click(TForm1& form);
// "TS Packet Editor": open dialog, then the editor on the chosen file, modally.
void SPacketEditor1Click(TForm1& form);

} // namespace tw
