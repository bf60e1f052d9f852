// Lengths in an RTF document are twips (1/1440 inch); Qt's text documents
// measure in pixels at 96 dots per inch, which printing scales to the
// printer's resolution.
#pragma once

namespace kelvaro {

inline constexpr double kTwipsPerPixel = 15.0;
// Largest indent, spacing, tab stop or cell edge taken, in twips (22 inches):
// larger values are clamped, so a hostile number cannot push text off any page.
inline constexpr int kMaxTwips = 31680;

inline double TwipsToPixels(int twips) { return twips / kTwipsPerPixel; }

}  // namespace kelvaro
