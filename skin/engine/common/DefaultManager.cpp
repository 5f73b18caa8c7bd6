#include "skin/engine/common/DefaultManager.h"

namespace skin {

TsSkinManager* DefaultManager = nullptr;

} // namespace skin
