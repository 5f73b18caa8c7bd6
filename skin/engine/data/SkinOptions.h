#pragma once
// Reading a skin's "Options.dat" (with its pictures) into the manager's
// tables: masks first, then patterns, then the general data of the sections.
#include <string>

#include "base/Exceptions.h"

namespace skin {

class EInvalidSkin : public tw::Exception {
public:
    using tw::Exception::Exception;
};

class TsSkinManager;
class TacSkinConvertor;

void ReadSkinMasks(TsSkinManager& sm);
void ReadSkinPatterns(TsSkinManager& sm);
void ReadSkinGeneralData(TsSkinManager& sm);

// The three readers over one options text, then the common indexes, with
// the manager's loading flag set for the run. A skin without its options
// text (nullptr) raises EInvalidSkin; every error leaves the flag cleared.
void LoadSkinTables(TsSkinManager& sm, const std::string* optionsText);

// The same for the stored skin the manager's SkinName names when it holds
// no packed archive: the readers copy its collections.
void LoadStoredSkinTables(TsSkinManager& sm);

// The same for an unpacked archive: pictures are its entries, the options
// text its "Options.dat" (an archive without one raises EInvalidSkin).
void LoadPackedSkinTables(TsSkinManager& sm, const TacSkinConvertor& sc);

} // namespace skin
