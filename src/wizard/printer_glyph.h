// The small printer drawn on the pages' print buttons.
#pragma once

#include <QIcon>

namespace kelvaro {

QIcon PrinterGlyph();

}  // namespace kelvaro
