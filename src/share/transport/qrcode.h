#pragma once

#include <QImage>
#include <QString>
#include <QVector>

// A QR code symbol: its square matrix of modules, and a picture of it for
// scanning off the screen.
class QrCode {
public:
    // Null when the text is empty or too long for a symbol.
    static QrCode encode(const QString& text);

    bool isNull() const { return m_width == 0; }
    // Modules per side.
    int width() const { return m_width; }
    bool isDark(int x, int y) const { return m_modules[y * m_width + x]; }

    // Black modules on white, `moduleSize` pixels each, with a white quiet
    // zone of `quietZone` modules around the symbol (scanners need 4).
    QImage toImage(int moduleSize, int quietZone = 4) const;

private:
    int m_width = 0;
    QVector<bool> m_modules;
};
