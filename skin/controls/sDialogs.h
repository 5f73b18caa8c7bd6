#pragma once
// Windows only. The skinned open and save dialogs: the system's dialogs,
// whose windows the skin manager's window hook skins like every dialog of
// the program while a skin is active.
#include "ui/Dialogs.h"

namespace skin {

class TsOpenDialog : public tw::TOpenDialog {
public:
    explicit TsOpenDialog(tw::TComponent* owner) : TOpenDialog(owner) {}
};

class TsSaveDialog : public tw::TSaveDialog {
public:
    explicit TsSaveDialog(tw::TComponent* owner) : TSaveDialog(owner) {}
};

} // namespace skin
