#include "store/conversion.h"

#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"

namespace qv {

namespace {

// Parses an optional sign and decimal digits between optional blanks and
// returns false when the text is no whole number within [min, max].
bool parseWhole(const QString& text, long long min, long long max, long long& out) {
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i == t.size()) return false;
    // Accumulate as a negative value so that the smallest number fits.
    long long value = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        const int digit = c.unicode() - '0';
        if (value < (min + digit) / 10) return false;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value < -max) return false;
        value = -value;
    }
    out = value;
    return true;
}

}  // namespace

void throwNotAnInteger(const QString& text) {
    throw Error(ErrorCode::Conversion,
                QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text).toStdString());
}

int strToInt(const QString& text) {
    long long v = 0;
    if (!parseWhole(text, -2147483648LL, 2147483647LL, v)) throwNotAnInteger(text);
    return static_cast<int>(v);
}

std::int64_t strToInt64(const QString& text) {
    long long v = 0;
    if (!parseWhole(text, INT64_MIN, INT64_MAX, v)) throwNotAnInteger(text);
    return v;
}

std::string toCp1252(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() < 0x80) {
            out.push_back(static_cast<char>(c.unicode()));
            continue;
        }
        char32_t cp = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(c, text[i + 1]);
            ++i;
        } else if (c.isSurrogate()) {
            cp = 0xFFFD;  // a lone half of a pair has no form anywhere
        }
        out.push_back(static_cast<char>(xb::unicodeToCp1252(cp)));
    }
    return out;
}

QString fromCp1252(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* p = out.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        p[i] =
            QChar(static_cast<char16_t>(xb::cp1252ToUnicode(static_cast<std::uint8_t>(bytes[i]))));
    return out;
}

QString engineUpper(const QString& text) {
    std::string bytes = toCp1252(text);
    xb::upper1252InPlace(bytes.data(), bytes.size());
    return fromCp1252(bytes);
}

QString singleLine(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return text;
}

QString trimmedRight(QString text) {
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == QLatin1Char(' '))
        --n;
    text.truncate(n);
    return text;
}

}  // namespace qv
