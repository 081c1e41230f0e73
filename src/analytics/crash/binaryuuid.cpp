#include "analytics/crash/binaryuuid.h"

QString BinaryUuid::format(QByteArrayView bytes) {
    if (bytes.size() < 16)
        return {};
    static constexpr char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += u'-';
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += QLatin1Char(digits[byte >> 4]);
        text += QLatin1Char(digits[byte & 0xf]);
    }
    return text;
}
