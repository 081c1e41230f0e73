#include "server/pages/clienttext.h"

namespace {

bool needsEscape(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f ||
           (c >= 0x2028 && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString ClientText::printable(QStringView text, qsizetype maxLength) {
    const QStringView shown = text.first(std::min(text.size(), maxLength));
    QString out;
    out.reserve(shown.size() + 16);
    for (const QChar c : shown) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QLatin1String("\\\\");
        else if (!needsEscape(u))
            out += c;
        else if (u < 0x100)
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    if (shown.size() < text.size())
        out += QStringLiteral("... (%1 more characters)").arg(text.size() - shown.size());
    return out;
}
