// kelvaro-draw-picture OUT.cpp: draws the left column's picture and writes
// its pixels as C++ source, which the wizard is built with. The file is
// written beside its place and renamed over it, so an interrupted build never
// leaves half a picture to compile.
#include <cstdio>
#include <fstream>
#include <string>

#include "wizard/picture/picture_drawing.h"
#include "wizard/picture/picture_pixels.h"

namespace {

bool WritePixels(const QImage& picture, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "// Written by kelvaro-draw-picture when the wizard is built: the pixels of\n"
         "// the left column's picture, 24 bits per pixel (red, green, blue), each\n"
         "// row padded to whole 32-bit words.\n"
         "#include \"wizard/picture/picture_pixels.h\"\n\n"
         "namespace kelvaro {\n\n"
         "static_assert(kCompanyPictureWidth == "
      << picture.width() << " && kCompanyPictureHeight == " << picture.height()
      << ");\n\nextern const unsigned char kCompanyPicturePixels[] = {\n";
  for (int y = 0; y < picture.height(); ++y) {
    const uchar* row = picture.constScanLine(y);
    for (int x = 0; x < kelvaro::kCompanyPictureBytesPerLine; ++x) {
      const int byte = x < picture.width() * 3 ? row[x] : 0;
      out << byte << ((x % 24 == 23) ? ",\n" : ",");
    }
    out << "\n";
  }
  out << "};\n\n}  // namespace kelvaro\n";
  out.close();
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelvaro-draw-picture OUT.cpp\n");
    return 64;
  }
  const std::string path = argv[1];
  const std::string temporary = path + ".tmp";
  const QImage picture = kelvaro::DrawCompanyPicture();
  if (picture.width() != kelvaro::kCompanyPictureWidth || picture.height() != kelvaro::kCompanyPictureHeight ||
      picture.format() != QImage::Format_RGB888 || !WritePixels(picture, temporary) ||
      std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "kelvaro-draw-picture: cannot write %s\n", path.c_str());
    std::remove(temporary.c_str());
    return 1;
  }
  return 0;
}
