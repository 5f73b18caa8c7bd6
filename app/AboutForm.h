// The about box: a picture filling the window with the maker's name and the
// version; any key or a click closes it.
#pragma once

#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TForm5 : public TForm {
public:
    explicit TForm5(TComponent* owner);
    TImage* Image1;
    TLabel* sLabel1; // the maker's name
    TLabel* sLabel2; // the version ("V " + version text)
    TLabel* sLabel3; // a further line

    void FormKeyPress(TObject* sender, wchar_t& key);
    void Image1Click(TObject* sender);
};

extern TForm5* Form5;

} // namespace tw
