#include "masterdata/core/statusnamelist.h"

#include "catalogue/settingslist.h"
#include "store/conversion.h"

namespace qv {

QStringList statusNames(const SettingsList& settings) {
    QStringList names;
    for (int i = SettingsList::kFirstStatusLine; i <= SettingsList::kLastStatusLine; ++i)
        names << settings.lineOrDefault(i);
    return names;
}

void saveStatusNames(SettingsList& settings, const QStringList& names) {
    const QStringList before = settings.lines();
    try {
        settings.completeWithDefaults();
        for (int i = 0; i < kStatusNameCount; ++i)
            settings.replace(SettingsList::kFirstStatusLine + i, singleLine(names.value(i)));
        settings.save();
    } catch (...) {
        // Memory stays what the file holds: a Cancel after the failed save
        // shows the names on disk everywhere.
        settings.setLines(before);
        throw;
    }
}

}  // namespace qv
