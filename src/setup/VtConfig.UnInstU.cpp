#include "VtConfig.UnInstU.h"

namespace vt {

// Files and Autostart are always part of an uninstall: their boxes start checked and
// cannot be changed.
TUnInstallForm::TUnInstallForm() {
    checked[UNINST_FILES] = true;
    checked[UNINST_AUTOSTART] = true;
}

TUnInstallForm::~TUnInstallForm() = default;

void TUnInstallForm::OkBtnClick() {
    opts = TUnInstOptions{};
    for (EnumUnInstOptions o :
         {UNINST_FILES, UNINST_AUTOSTART, UNINST_SETTINGS, UNINST_SOUND, UNINST_MACROS})
        if (checked[o]) opts.Include(o);
}

std::u16string TUnInstallForm::UserText() const {
    return userName.empty() ? std::u16string() : u"Benutzer: " + userName;
}

}  // namespace vt
