#include "richtext/rtf_picture.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include "richtext/rtf_units.h"

namespace kelvaro {
namespace {

// Pictures with more pixels than this are not decoded (about 128 MB as
// 32-bit pixels): no list of changes needs one, and decoding it would stall
// the page.
constexpr qint64 kMaxPicturePixels = 32LL * 1024 * 1024;
// \picw of a metafile is in hundredths of a millimetre.
constexpr double kTwipsPerHundredthMm = 1440.0 / 2540.0;

// Draws the frame of a picture Qt cannot draw: a thin grey outline of the
// picture's size, so the reader sees that something stands there.
class PictureFrameHandler : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

 public:
  using QObject::QObject;

  QSizeF intrinsicSize(QTextDocument* document, int, const QTextFormat& format) override {
    const QSizeF size(format.doubleProperty(kPictureFrameWidth), format.doubleProperty(kPictureFrameHeight));
    return size * DeviceScale(document);
  }

  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat&) override {
    painter->save();
    painter->setPen(QPen(Qt::lightGray, 0));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
  }

 private:
  // Printing lays the document out on the printer: sizes in document pixels
  // grow with its resolution, as Qt does for images.
  static qreal DeviceScale(QTextDocument* document) {
    const QPaintDevice* device = document->documentLayout()->paintDevice();
    return device ? device->logicalDpiY() / 96.0 : 1.0;
  }
};

// The size the author gave the picture, in twips; empty when neither the
// goal nor the picture's own size says it.
QSizeF ShownTwips(const RtfPicture& picture, QSize imagePixels) {
  double width = picture.goalWidth;
  double height = picture.goalHeight;
  if (width <= 0 || height <= 0) {
    if (picture.format == RtfPicture::Format::Undrawable) {
      width = picture.pixelWidth * kTwipsPerHundredthMm;
      height = picture.pixelHeight * kTwipsPerHundredthMm;
    } else {
      width = imagePixels.width() * kTwipsPerPixel;
      height = imagePixels.height() * kTwipsPerPixel;
    }
  }
  return QSizeF(width * picture.scaleX / 100.0, height * picture.scaleY / 100.0);
}

bool Showable(QSizeF twips) {
  return twips.width() >= 1 && twips.height() >= 1 && twips.width() <= kMaxTwips &&
         twips.height() <= kMaxTwips;
}

QImage Decode(const RtfPicture& picture) {
  QByteArray data = picture.data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, picture.format == RtfPicture::Format::Png ? "png" : "jpeg");
  const QSize size = reader.size();
  if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPicturePixels) return QImage();
  return reader.read();
}

PictureShown InsertImage(QTextCursor& cursor, const RtfPicture& picture) {
  const QImage image = Decode(picture);
  if (image.isNull()) return PictureShown::Nothing;
  const QSizeF twips = ShownTwips(picture, image.size());
  if (!Showable(twips)) return PictureShown::Nothing;
  // Named after its place: two pictures of one document never share a name,
  // and reading a document again replaces the pictures of the last one.
  const QString name = QStringLiteral("rtf-picture:%1").arg(cursor.position());
  cursor.document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
  QTextImageFormat format;
  format.setName(name);
  format.setWidth(twips.width() / kTwipsPerPixel);
  format.setHeight(twips.height() / kTwipsPerPixel);
  cursor.insertImage(format);
  return PictureShown::Image;
}

PictureShown InsertEmptyFrame(QTextCursor& cursor, const RtfPicture& picture) {
  const QSizeF twips = ShownTwips(picture, QSize());
  if (!Showable(twips)) return PictureShown::Nothing;
  QTextCharFormat format;
  format.setObjectType(kPictureFrameObject);
  format.setProperty(kPictureFrameWidth, twips.width() / kTwipsPerPixel);
  format.setProperty(kPictureFrameHeight, twips.height() / kTwipsPerPixel);
  cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
  return PictureShown::Frame;
}

}  // namespace

PictureShown InsertPicture(QTextCursor& cursor, const RtfPicture& picture) {
  if (picture.tooLarge) return PictureShown::Nothing;
  switch (picture.format) {
    case RtfPicture::Format::Png:
    case RtfPicture::Format::Jpeg: return InsertImage(cursor, picture);
    case RtfPicture::Format::Undrawable: return InsertEmptyFrame(cursor, picture);
    case RtfPicture::Format::Unknown: return PictureShown::Nothing;
  }
  return PictureShown::Nothing;
}

void RegisterPictureFrames(QTextDocument* document) {
  QAbstractTextDocumentLayout* layout = document->documentLayout();
  if (layout->handlerForObject(kPictureFrameObject)) return;
  layout->registerHandler(kPictureFrameObject, new PictureFrameHandler(document));
}

}  // namespace kelvaro

#include "rtf_picture.moc"
