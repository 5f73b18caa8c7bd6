#include "skin/engine/DefaultManager.h"

namespace skin {

TsSkinManager* DefaultManager = nullptr;

} // namespace skin
