#pragma once
// Windows only. The skinned edit of a file name.
#include <string>

#include "skin/controls/sEdit.h"

namespace skin {

class TsFilenameEdit : public TsEditFrame<tw::TEdit> {
public:
    explicit TsFilenameEdit(tw::TComponent* owner) : TsEditFrame(owner, COC_TsFileNameEdit) {}
    std::string FileName() const { return Text(); }
    // Throws "Invalid file name" for a name no file can have; the text is
    // left as it was then.
    void SetFileName(const std::string& value);
};

} // namespace skin
