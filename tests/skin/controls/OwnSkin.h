#pragma once
// The default manager as the program has it: our own skin from the test
// program's resources, and an empty skin folder so that nothing on the
// machine decides which skin loads.
#include <filesystem>
#include <memory>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "ui/Application.h"

namespace skin::test {

inline const char* const kOwnSkinName = "Tarnwick8 (internal)";

inline std::unique_ptr<TsSkinManager> MakeOwnSkinManager(bool load = true)
{
    tw::Application->Initialize();
    DefaultManager = nullptr;
    auto manager = std::make_unique<TsSkinManager>();
    manager->SetSkinDirectory((std::filesystem::temp_directory_path() / "tarnwick_no_skins").string());
    if (!AddInternalSkinFromResource(*manager, kOwnSkinResource, kOwnSkinName)) return nullptr;
    if (load) manager->SetSkinName(kOwnSkinName);
    return manager;
}

} // namespace skin::test
