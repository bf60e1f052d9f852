#include "wizard/left_picture.h"

#include "wizard/picture/picture_pixels.h"

namespace kelvaro {

QImage CompanyPicture() {
  // The pixels are the program's own, read-only: the image shares them and
  // copies only if a caller paints on its copy.
  static const QImage picture(kCompanyPicturePixels, kCompanyPictureWidth, kCompanyPictureHeight,
                              kCompanyPictureBytesPerLine, QImage::Format_RGB888);
  return picture;
}

}  // namespace kelvaro
