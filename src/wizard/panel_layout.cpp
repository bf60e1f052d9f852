#include "wizard/panel_layout.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace kelvaro {
namespace {

// Keeps buttons at a fixed distance from the right and bottom edges of their
// panel, as anchors do: Qt widgets outside a layout stay put otherwise.
class RightBottomAnchors : public QObject {
 public:
  explicit RightBottomAnchors(QWidget* panel) : QObject(panel), panel_(panel) {
    setObjectName(QStringLiteral("kelvaroRightBottomAnchors"));
    panel->installEventFilter(this);
  }

  void Anchor(QWidget* child) {
    anchored_.erase(std::remove_if(anchored_.begin(), anchored_.end(),
                                   [&](const Anchored& a) { return a.widget == child; }),
                    anchored_.end());
    const QRect client = panel_->contentsRect();
    anchored_.push_back({child, client.right() - child->geometry().right(),
                         client.bottom() - child->geometry().bottom()});
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == panel_ && event->type() == QEvent::Resize) Follow();
    return false;
  }

 private:
  struct Anchored {
    QPointer<QWidget> widget;
    int right;   // distance from the client area's right edge
    int bottom;  // distance from its bottom edge
  };

  void Follow() {
    const QRect client = panel_->contentsRect();
    for (const Anchored& a : anchored_) {
      if (!a.widget) continue;
      const QSize size = a.widget->size();
      a.widget->move(client.right() - a.right - size.width() + 1,
                     client.bottom() - a.bottom - size.height() + 1);
    }
  }

  QWidget* panel_;
  std::vector<Anchored> anchored_;
};

RightBottomAnchors* AnchorsOf(QWidget* panel) {
  auto* anchors = panel->findChild<RightBottomAnchors*>(QStringLiteral("kelvaroRightBottomAnchors"),
                                                        Qt::FindDirectChildrenOnly);
  return anchors ? anchors : new RightBottomAnchors(panel);
}

std::vector<QAbstractButton*> VisibleButtons(QWidget* panel) {
  std::vector<QAbstractButton*> buttons;
  for (auto* b : panel->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
    const bool pushOrTool = qobject_cast<QPushButton*>(b) || qobject_cast<QToolButton*>(b);
    // Visible to the panel: the panel itself may not be shown yet.
    if (pushOrTool && b->isVisibleTo(panel)) buttons.push_back(b);
  }
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
  return buttons;
}

}  // namespace

void ArrangePanelButtons(QWidget* panel) {
  if (!panel) return;
  const std::vector<QAbstractButton*> buttons = VisibleButtons(panel);
  if (buttons.empty()) return;
  const int h = buttons.back()->height();
  const int margin = h * 10 / 25;
  const int frame = panel->height() - panel->contentsRect().height();
  panel->setFixedHeight(h + 2 * margin + frame);

  const QRect client = panel->contentsRect();
  RightBottomAnchors* anchors = AnchorsOf(panel);
  int x = client.x() + client.width();
  for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
    QAbstractButton* button = *it;
    x -= margin + button->width();
    button->setGeometry(x, client.y() + margin, button->width(), h);
    anchors->Anchor(button);
  }
}

}  // namespace kelvaro
