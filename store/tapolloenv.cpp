#include "store/tapolloenv.h"

#include "store/xbase/settings.h"

namespace {

bool exchange(bool& setting, bool value) {
    const bool old = setting;
    setting = value;
    return old;
}

}  // namespace

TApolloEnv::TApolloEnv(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("ApolloEnv"));
}

void TApolloEnv::setProgramDefaults() {
    sx_SetCentury(true);
    sx_SetDateFormat(German);
    sx_SetSoftSeek(true);
    sx_SetDeleted(true);
    sx_SetExact(false);
}

bool TApolloEnv::sx_SetCentury(bool on) {
    return exchange(xb::settings().century, on);
}

TApolloEnv::DateFormat TApolloEnv::sx_SetDateFormat(DateFormat format) {
    const DateFormat old = dateFormat();
    xb::settings().germanDates = format == German;
    return old;
}

bool TApolloEnv::sx_SetSoftSeek(bool on) {
    return exchange(xb::settings().softSeek, on);
}
bool TApolloEnv::sx_SetDeleted(bool on) {
    return exchange(xb::settings().deleted, on);
}
bool TApolloEnv::sx_SetExact(bool on) {
    return exchange(xb::settings().exact, on);
}

bool TApolloEnv::century() {
    return xb::settings().century;
}
TApolloEnv::DateFormat TApolloEnv::dateFormat() {
    return xb::settings().germanDates ? German : American;
}
bool TApolloEnv::softSeek() {
    return xb::settings().softSeek;
}
bool TApolloEnv::deleted() {
    return xb::settings().deleted;
}
bool TApolloEnv::exact() {
    return xb::settings().exact;
}
