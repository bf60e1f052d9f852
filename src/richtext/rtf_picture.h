// Pictures of an RTF document (\pict) placed in a QTextDocument.
//
// PNG and JPEG pictures are shown at the size their author gave them
// (\picwgoal, \pichgoal, scaled by \picscalex and \picscaley). A picture in a
// format Qt cannot draw (Windows and enhanced metafiles, Macintosh pictures)
// keeps its place as an empty frame of its size, so the text around it is
// laid out as its author saw it. A picture whose data does not decode, whose
// size is absurd, or whose data exceeds kMaxPictureBytes is left out, frame
// and all: bad data never costs more than its own place.
#pragma once

#include <QByteArray>
#include <QTextFormat>

class QTextCursor;
class QTextDocument;

namespace kelvaro {

// Pictures larger than this (decoded data) are left out.
inline constexpr qsizetype kMaxPictureBytes = 16 * 1024 * 1024;

// The empty frame of a picture Qt cannot draw: an object of this type whose
// format holds its width and height in document pixels.
inline constexpr int kPictureFrameObject = QTextFormat::UserObject + 1;
inline constexpr int kPictureFrameWidth = QTextFormat::UserProperty + 1;
inline constexpr int kPictureFrameHeight = QTextFormat::UserProperty + 2;

struct RtfPicture {
  enum class Format { Unknown, Png, Jpeg, Undrawable };
  Format format = Format::Unknown;
  int pixelWidth = 0;    // \picw, \pich: the picture's own size
  int pixelHeight = 0;
  int goalWidth = 0;     // \picwgoal, \pichgoal: the size to show, in twips
  int goalHeight = 0;
  int scaleX = 100;      // \picscalex, \picscaley: percent of the goal size
  int scaleY = 100;
  QByteArray data;       // the picture's bytes, decoded from hexadecimal
  bool tooLarge = false; // data was cut at kMaxPictureBytes
};

enum class PictureShown { Image, Frame, Nothing };

// Inserts the picture at the cursor: the image, an empty frame for a format
// that cannot be drawn, or nothing when the picture cannot be shown at all.
PictureShown InsertPicture(QTextCursor& cursor, const RtfPicture& picture);

// Makes the document able to draw the empty frames InsertPicture leaves,
// once the document is complete: it creates the document's layout, which
// lays the text out (and needs the application's fonts). Printing copies
// the handler along with the document.
void RegisterPictureFrames(QTextDocument* document);

}  // namespace kelvaro
