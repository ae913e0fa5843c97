#pragma once
// The skins' pictures are uncompressed 8-bit BMP files compiled into the program. Reading them
// here spares the start the toolkit's image plugin scan, which opens every image plugin installed.
#include <QImage>
#include <QString>

// The picture of an uncompressed 8-, 24- or 32-bit BMP resource; any other kind goes through the
// toolkit's reader. A null image when neither can read it.
QImage ReadSkinPicture(const QString& resourcePath);

// Decodes BMP bytes of the kinds above; a null image for anything else.
QImage DecodePlainBmp(const unsigned char* data, qsizetype size);
