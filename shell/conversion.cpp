#include "shell/conversion.h"

#include "store/xbase/error.h"

namespace qv {

void throwNotAnInteger(const QString& text) {
    throw Error(ErrorCode::Conversion,
                QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text).toStdString());
}

int strToInt(const QString& text) {
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i == t.size()) throwNotAnInteger(text);
    // Accumulate as a negative value so that the smallest int fits.
    long long value = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) throwNotAnInteger(text);
        value = value * 10 - (c.unicode() - '0');
        if (value < -2147483648LL) throwNotAnInteger(text);
    }
    if (!negative) {
        if (value < -2147483647LL) throwNotAnInteger(text);
        value = -value;
    }
    return static_cast<int>(value);
}

}  // namespace qv
