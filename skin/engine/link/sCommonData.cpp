#include "skin/engine/link/sCommonData.h"

#include <algorithm>
#include <initializer_list>

namespace skin {

namespace {

bool In(int32_t kind, std::initializer_list<int32_t> set) { return std::find(set.begin(), set.end(), kind) != set.end(); }
bool Between(int32_t kind, int32_t lo, int32_t hi) { return kind >= lo && kind <= hi; }

} // namespace

std::string DefaultSectionOfKind(int32_t k)
{
    if (Between(k, 2, 8) || In(k, {10, 41, 76, 78, 83, 84, 96, 97, 131, 140, 227})) return "EDIT";
    if (Between(k, 11, 18) || In(k, {81, 82})) return "COMBOBOX";
    if (k == 19) return "BAR";
    if (k == 20) return "BARTITLE";
    if (In(k, {32, 152})) return "CHECKBOX";
    if (k == 33) return "RADIOBUTTON";
    if (In(k, {51, 59, 68, 73})) return "PANEL";
    if (In(k, {52, 58})) return "PANEL_LOW";
    if (In(k, {53, 54, 60})) return "TOOLBAR";
    if (k == 56) return "DRAGBAR";
    if (k == 57) return "TABSHEET";
    if (In(k, {74, 226})) return "GROUPBOX";
    if (k == 75) return "SPLITTER";
    if (In(k, {92, 95})) return "SPEEDBUTTON";
    if (In(k, {93, 94})) return "BUTTON";
    if (k == 98) return "TOOLBUTTON";
    if (In(k, {141, 143})) return "PAGECONTROL";
    if (k == 151) return "STATUSBAR";
    if (k == 161) return "GAUGE";
    if (k == 165) return "TRACKBAR";
    return {};
}

bool IsNoHotKind(int32_t k) { return k == 19 || Between(k, 51, 74) || k == 110 || Between(k, 141, 161); }

bool IsNoGlowKind(int32_t k)
{
    return In(k, {51, 52, 54, 68, 73, 74, 110, 141, 143, 151, 161, 226}) || Between(k, 56, 60) || Between(k, 92, 94);
}

bool IsRepaintOnHoverKind(int32_t k)
{
    return Between(k, 2, 18) || k == 41 || Between(k, 76, 84) || In(k, {96, 97}) || Between(k, 131, 140);
}

} // namespace skin
