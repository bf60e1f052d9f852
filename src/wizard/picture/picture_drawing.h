// The drawing of the picture the wizard's left column shows. It runs when
// the wizard is built (kelvaro-draw-picture), not when it starts: painting
// the first picture of a process costs a few milliseconds of the painter's
// set-up, and the picture never changes.
#pragma once

#include <QImage>

namespace kelvaro {

// 150 x 245 pixels, 24 bits per pixel: a quiet landscape in soft blues and
// greens. Its bottom row is one plain colour, so the column that takes the
// colour of the bottom-left pixel continues the picture.
QImage DrawCompanyPicture();

}  // namespace kelvaro
