#include "masterdata/core/statusnamelist.h"

#include "catalogue/settingslist.h"
#include "store/conversion.h"

namespace qv {

QStringList statusNames(const SettingsList& settings) {
    QStringList names;
    for (int i = SettingsList::kFirstStatusLine; i <= SettingsList::kLastStatusLine; ++i)
        names << settings.line(i);
    return names;
}

void saveStatusNames(SettingsList& settings, const QStringList& names) {
    for (int i = 0; i < kStatusNameCount; ++i)
        settings.replace(SettingsList::kFirstStatusLine + i, singleLine(names.value(i)));
    settings.save();
}

}  // namespace qv
