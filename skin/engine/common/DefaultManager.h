#pragma once
// The manager used by every skin link, provider and adapter that has none of
// its own: the skin manager of the main window, which sets it when it is
// created (there is one in the program).
namespace skin {

class TsSkinManager;
extern TsSkinManager* DefaultManager;

} // namespace skin
