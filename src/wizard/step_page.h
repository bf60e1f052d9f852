// TFrmStep: what every wizard page offers the main window. A page is a
// borderless form, created hidden at start-up and placed by the main window
// into its page area whenever it becomes the current page.
#pragma once

#include <QImage>
#include <QList>
#include <QWidget>

class QLabel;

namespace kelvaro {

class TFrmStep : public QWidget {
  Q_OBJECT

 public:
  explicit TFrmStep(const QString& name);
  ~TFrmStep() override;

  // Each time the page becomes current, after it is placed, before it shows.
  virtual void Init();
  // Whether Next is allowed; asked at every idle-time update.
  virtual bool CanGoNext();
  // The picture of the left column; null for none.
  virtual const QImage* GetBitmap();
  // The caption of Next; asked at every idle-time update.
  virtual QString GetNextCaption();
  // When the person presses Next on this page (not Back), before the next
  // page is chosen.
  virtual void BeforeGoNext();

  // Every page that exists, in creation order: the forms a carried
  // "Steps.txt" can name by object name.
  static const QList<TFrmStep*>& ExistingPages();

  QLabel* ImageCompany;

 protected:
  void FormCreate() {}

 private:
  QImage mCompanyBitmap;
};

}  // namespace kelvaro
