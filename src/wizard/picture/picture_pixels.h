// The left column's picture as the wizard carries it: pixels drawn when it
// is built (see picture_drawing.h), 24 bits per pixel, rows padded to whole
// 32-bit words as QImage wants them.
#pragma once

namespace kelvaro {

constexpr int kCompanyPictureWidth = 150;
constexpr int kCompanyPictureHeight = 245;
constexpr int kCompanyPictureBytesPerLine = (kCompanyPictureWidth * 3 + 3) / 4 * 4;

extern const unsigned char kCompanyPicturePixels[];

}  // namespace kelvaro
