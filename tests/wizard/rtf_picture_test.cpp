// Pictures of an RTF document: PNG and JPEG shown at the size their author
// gave them, formats Qt cannot draw kept as an empty frame of their size,
// and pictures whose data is damaged or absurd left out without harm.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextLayout>
#include <QtEndian>

#include "richtext/rtf_picture.h"
#include "rtf_stream_in.h"

namespace {

using namespace kelvaro;
using rtf_test::StreamIn;

QByteArray Encoded(const char* format, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

// A PNG whose header claims width x height pixels, with no pixels behind it.
QByteArray PngClaiming(quint32 width, quint32 height) {
  QByteArray chunk("IHDR");
  chunk += QByteArray(13, '\0');
  qToBigEndian(width, chunk.data() + 4);
  qToBigEndian(height, chunk.data() + 8);
  chunk[12] = 8;  // bit depth
  chunk[13] = 2;  // RGB
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  png += QByteArray("\0\0\0\x0d", 4) + chunk;
  QByteArray crc(4, '\0');
  qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef*>(chunk.constData()), chunk.size())), crc.data());
  return png + crc;
}

const QByteArray kPng = Encoded("png", {20, 10}).toHex();
const QByteArray kJpeg = Encoded("jpeg", {40, 30}).toHex();

enum class Shown { Image, Frame, Nothing };

struct PictureCase {
  const char* name;
  QByteArray pict;  // the picture group
  Shown shown;
  QSizeF size;      // document pixels
};

// What stands between "a" and "b": the picture's object and its size.
void Inspect(QTextDocument* document, Shown* shown, QSizeF* size) {
  *shown = Shown::Nothing;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      if (format.isImageFormat()) {
        const QTextImageFormat image = format.toImageFormat();
        *shown = Shown::Image;
        *size = QSizeF(image.width(), image.height());
        EXPECT_FALSE(document->resource(QTextDocument::ImageResource, QUrl(image.name())).isNull());
      } else if (format.objectType() == kPictureFrameObject) {
        *shown = Shown::Frame;
        *size = QSizeF(format.doubleProperty(kPictureFrameWidth), format.doubleProperty(kPictureFrameHeight));
      }
    }
  }
}

class RtfPictureTest : public testing::TestWithParam<PictureCase> {};

TEST_P(RtfPictureTest, ShowsThePictureAtItsSize) {
  const PictureCase& c = GetParam();
  QTextDocument document;
  ASSERT_EQ(0, StreamIn(&document, "{\\rtf1 a" + c.pict + "b}"));
  Shown shown;
  QSizeF size;
  Inspect(&document, &shown, &size);
  EXPECT_EQ(c.shown, shown);
  if (c.shown != Shown::Nothing) {
    EXPECT_EQ(c.size, size);
  }
  const QString text = document.toPlainText().remove(QChar::ObjectReplacementCharacter);
  EXPECT_EQ(QString("ab"), text) << "the text around a picture stays";
}

const QByteArray kGoal = "\\picw20\\pich10\\picwgoal1500\\pichgoal750";
const PictureCase kPictureCases[] = {
    {"png_at_goal_size", "{\\pict\\pngblip" + kGoal + " " + kPng + "}", Shown::Image, {100, 50}},
    {"png_scaled", "{\\pict\\pngblip" + kGoal + "\\picscalex50\\picscaley200 " + kPng + "}", Shown::Image,
     {50, 100}},
    {"png_without_goal", "{\\pict\\pngblip " + kPng + "}", Shown::Image, {20, 10}},
    {"png_with_line_breaks", "{\\pict\\pngblip" + kGoal + "\r\n" + kPng.left(64) + "\r\n" + kPng.mid(64) + "}",
     Shown::Image, {100, 50}},
    {"jpeg", "{\\pict\\jpegblip\\picwgoal600\\pichgoal450 " + kJpeg + "}", Shown::Image, {40, 30}},
    {"binary_data", "{\\pict\\pngblip" + kGoal + "\\bin" + QByteArray::number(kPng.size() / 2) + " " +
                        QByteArray::fromHex(kPng) + "}",
     Shown::Image, {100, 50}},
    {"shape_picture_with_its_stand_in",
     "{\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn wzName}{\\sv x}}}\\pngblip" + kGoal + " " + kPng +
         "}}{\\nonshppict{\\pict\\wmetafile8" + kGoal + " 0102}}",
     Shown::Image, {100, 50}},
    // Formats Qt cannot draw keep their place.
    {"metafile_frame", "{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal1440\\pichgoal720 0102}", Shown::Frame,
     {96, 48}},
    {"emf_frame_from_its_own_size", "{\\pict\\emfblip\\picw2540\\pich1270 0102}", Shown::Frame, {96, 48}},
    // What cannot be shown is left out, frame and all.
    {"damaged_png", "{\\pict\\pngblip" + kGoal + " 89504e470d0a1a0a00000000}", Shown::Nothing, {}},
    {"png_truncated", "{\\pict\\pngblip" + kGoal + " " + kPng.left(kPng.size() / 2) + "}", Shown::Nothing, {}},
    {"jpeg_data_called_png", "{\\pict\\pngblip" + kGoal + " " + kJpeg + "}", Shown::Nothing, {}},
    {"no_format", "{\\pict" + kGoal + " " + kPng + "}", Shown::Nothing, {}},
    {"absurd_goal", "{\\pict\\pngblip\\picwgoal99999999999\\pichgoal750 " + kPng + "}", Shown::Nothing, {}},
    {"absurd_frame", "{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal1440\\pichgoal99999999 01}",
     Shown::Nothing, {}},
    {"absurd_pixel_count", "{\\pict\\pngblip" + kGoal + " " + PngClaiming(100000, 100000).toHex() + "}",
     Shown::Nothing, {}},
};
INSTANTIATE_TEST_SUITE_P(Cases, RtfPictureTest, testing::ValuesIn(kPictureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RtfPictureDataTest, DataBeyondTheLimitIsLeftOut) {
  const QByteArray data(kMaxPictureBytes + 1, 'x');
  QTextDocument document;
  ASSERT_EQ(0, StreamIn(&document, "{\\rtf1 a{\\pict\\pngblip" + kGoal + "\\bin" + QByteArray::number(data.size()) +
                                       " " + data + "}b}"));
  Shown shown;
  QSizeF size;
  Inspect(&document, &shown, &size);
  EXPECT_EQ(Shown::Nothing, shown);
  EXPECT_EQ(QString("ab"), document.toPlainText());
}

// The empty frame takes its room when the document is laid out.
TEST(RtfPictureDataTest, FrameTakesItsRoom) {
  QTextDocument document;
  StreamIn(&document, "{\\rtf1{\\pict\\wmetafile8\\picwgoal1440\\pichgoal720 01}}");
  document.setTextWidth(1000);
  const QTextLayout* layout = document.begin().layout();
  ASSERT_GT(layout->lineCount(), 0);
  EXPECT_NEAR(96, layout->lineAt(0).naturalTextWidth(), 0.5);
  EXPECT_GE(layout->lineAt(0).height(), 48);
}

}  // namespace
