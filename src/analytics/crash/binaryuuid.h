#pragma once

#include <QByteArrayView>
#include <QString>

// The text form in which crash reports name the build of an image, so that a
// report can be matched to the symbols of exactly that build.
class BinaryUuid {
public:
    // The first 16 bytes as 32 uppercase hex digits grouped 8-4-4-4-12; an
    // empty string when there are fewer than 16 bytes.
    static QString format(QByteArrayView bytes);
};
