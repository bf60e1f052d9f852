#include "wizard/welcome_page.h"

#include <QLabel>
#include <QTimer>

namespace kelvaro {

TfrmWelcome* frmWelcome = nullptr;

const QColor TfrmWelcome::kMaroon(128, 0, 0);
const QColor TfrmWelcome::kRed(255, 0, 0);

namespace {

QLabel* WrappedLabel(QWidget* parent, const QString& name, const QRect& bounds) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);  // carried text is never markup
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(bounds);
  return label;
}

}  // namespace

TfrmWelcome::TfrmWelcome() : TFrmStep(QStringLiteral("frmWelcome")) {
  FormCreate();
  // The page takes the font of the page area it is placed in.
  setFont(QFont());
  QPalette background = palette();
  background.setColor(QPalette::Window, background.color(QPalette::Base));
  setPalette(background);

  LabelWarning = WrappedLabel(this, QStringLiteral("LabelWarning"), QRect(176, 16, 273, 121));
  QFont warningFont(QStringLiteral("MS Sans Serif"));
  warningFont.setPixelSize(15);
  warningFont.setBold(true);
  LabelWarning->setFont(warningFont);
  SetWarningColour(kMaroon);
  LabelInfo = WrappedLabel(this, QStringLiteral("LabelInfo"), QRect(176, 148, 273, 121));

  TimerBlink = new QTimer(this);
  TimerBlink->setObjectName(QStringLiteral("TimerBlink"));
  TimerBlink->setInterval(500);
  connect(TimerBlink, &QTimer::timeout, this, &TfrmWelcome::TimerBlinkTimer);
}

void TfrmWelcome::SetTexts(const QString& title, const QString& extra) {
  LabelWarning->setText(QStringLiteral(
      "Veuillez fermer les applications Kelvaro sur tous les postes de travail avant d'installer cette mise à jour !"));
  const QString shown = title.isEmpty() ? QStringLiteral("?") : title;
  LabelInfo->setText(QStringLiteral("Cet assistant va mettre à jour ") + shown + QStringLiteral(".\r\n\r\n") +
                     QStringLiteral("Aucune donnée existante ne sera supprimée.\r\n\r\n") + extra);
}

void TfrmWelcome::showEvent(QShowEvent* event) {
  TFrmStep::showEvent(event);
  FormShow();
}

void TfrmWelcome::hideEvent(QHideEvent* event) {
  TFrmStep::hideEvent(event);
  FormHide();
}

void TfrmWelcome::resizeEvent(QResizeEvent* event) {
  TFrmStep::resizeEvent(event);
  FormResize();
}

void TfrmWelcome::FormShow() {
  SetWarningColour(kMaroon);
  TimerBlink->start();
}

void TfrmWelcome::FormHide() { TimerBlink->stop(); }

void TfrmWelcome::FormResize() {
  const int h = height();
  const int w = width();
  const int q = h / 4;
  LabelWarning->setGeometry(20, q, w - 40, h - 2 * q - 80);
  LabelInfo->setGeometry(20, h - q - 60, w - 40, h - 2 * q - 40);
}

void TfrmWelcome::TimerBlinkTimer() {
  const QColor current = LabelWarning->palette().color(QPalette::WindowText);
  SetWarningColour(current == kMaroon ? kRed : kMaroon);
}

void TfrmWelcome::SetWarningColour(const QColor& colour) {
  QPalette palette = LabelWarning->palette();
  palette.setColor(QPalette::WindowText, colour);
  LabelWarning->setPalette(palette);
}

}  // namespace kelvaro
