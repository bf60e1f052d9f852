#include "wizard/step_page.h"

#include <QLabel>
#include <QPixmap>

#include "wizard/left_picture.h"

namespace kelvaro {
namespace {

QList<TFrmStep*>& Pages() {
  static QList<TFrmStep*> pages;
  return pages;
}

}  // namespace

TFrmStep::TFrmStep(const QString& name) : QWidget(nullptr, Qt::FramelessWindowHint) {
  setObjectName(name);
  resize(488, 288);
  setAutoFillBackground(true);
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(14);
  setFont(font);

  mCompanyBitmap = CompanyPicture();
  ImageCompany = new QLabel(this);
  ImageCompany->setObjectName(QStringLiteral("ImageCompany"));
  ImageCompany->setGeometry(10, 16, 122, 180);
  // The picture stays an image: this label is never shown, the main
  // window's column shows GetBitmap's picture.
  ImageCompany->hide();
  Pages().append(this);
}

TFrmStep::~TFrmStep() { Pages().removeOne(this); }

void TFrmStep::Init() {}
bool TFrmStep::CanGoNext() { return true; }
const QImage* TFrmStep::GetBitmap() { return &mCompanyBitmap; }
QString TFrmStep::GetNextCaption() { return QStringLiteral("Suivant >"); }
void TFrmStep::BeforeGoNext() {}

const QList<TFrmStep*>& TFrmStep::ExistingPages() { return Pages(); }

}  // namespace kelvaro
