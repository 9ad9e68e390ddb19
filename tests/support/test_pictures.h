#pragma once

#include <QImage>

namespace geminor::test {

/// A picture of blocks and stripes, `width` wide, that keeps its look when scaled.
inline QImage Pattern(int width)
{
    const int height = width * 3 / 4;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int u = x * 8 / width, v = y * 6 / height;
            const int grey = ((u * 5 + v * 3) % 7) * 36;
            image.setPixel(x, y, qRgb(grey, grey, 255 - grey));
        }
    return image;
}

}  // namespace geminor::test
