#pragma once

#include <QImage>
#include <QString>

// The user's photo collection: the Pictures folder, subfolder "Vantoro".
class PhotoAlbum {
public:
    // Adds a copy of the image as a new PNG file without waiting: the file is
    // encoded and written on the global queue, under a name no other picture
    // has, and the outcome is only logged.
    static void saveImage(const QImage& image);

    static QString folder();
    // Overrides the folder (tests, benchmarks); an empty path goes back to
    // Pictures/Vantoro.
    static void setFolder(const QString& path);
};
