// The picture the wizard's left column shows beside every page.
#pragma once

#include <QImage>

namespace kelvaro {

// 150 x 245 pixels, 24 bits per pixel: a quiet landscape in soft blues and
// greens, drawn in code when the wizard is built (picture/). Its bottom row
// is one plain colour, so the column that takes the colour of the
// bottom-left pixel continues the picture.
QImage CompanyPicture();

}  // namespace kelvaro
