#include "share/transport/qrcode.h"

#include <QPainter>
#include <qrencode.h>

QrCode QrCode::encode(const QString& text) {
    QrCode code;
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty())
        return code;
    // Byte mode keeps UTF-8 text as it is; level M survives a phone camera
    // pointed at a monitor.
    QRcode* symbol = QRcode_encodeData(int(bytes.size()),
                                       reinterpret_cast<const unsigned char*>(bytes.constData()), 0,
                                       QR_ECLEVEL_M);
    if (!symbol)
        return code;
    code.m_width = symbol->width;
    code.m_modules.resize(symbol->width * symbol->width);
    for (int i = 0; i < code.m_modules.size(); ++i)
        code.m_modules[i] = symbol->data[i] & 1;
    QRcode_free(symbol);
    return code;
}

QImage QrCode::toImage(int moduleSize, int quietZone) const {
    if (isNull() || moduleSize <= 0)
        return {};
    const int side = (m_width + 2 * quietZone) * moduleSize;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < m_width; ++y)
        for (int x = 0; x < m_width; ++x)
            if (isDark(x, y))
                painter.fillRect((x + quietZone) * moduleSize, (y + quietZone) * moduleSize,
                                 moduleSize, moduleSize, Qt::black);
    return image;
}
