// TfrmMain: the wizard's only top-level window. It frames the pages (a
// picture column, a title, the page area and the Back / Next / Cancel row),
// reads the update's texts and product list from the carried files, keeps
// the sequence and history of pages, and runs the update when the person
// confirms the list of changes.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "products/product_table.h"

class QAction;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace kelvaro {

class TFrmStep;

class TfrmMain : public QWidget {
  Q_OBJECT

 public:
  // FormCreate: the window, its components and captions; hidden.
  TfrmMain();
  // FormDestroy: gives the pages back (they outlive the window's layout).
  ~TfrmMain() override;

  // The page on screen (the last of the history); null before the first.
  TFrmStep* GetCurrentStep() const;
  const QList<TFrmStep*>& StepList() const { return mStepList; }
  const QList<TFrmStep*>& History() const { return mHistory; }
  const QStringList& ProductNames() const { return mProductNames; }
  bool UpdateStarted() const { return mUpdateStarted; }

  QFrame* PanelMain;
  QFrame* PanelButtons;
  QFrame* BevelButtons;
  QLabel* RzLabelVersion;
  QPushButton* ButtonPrev;
  QPushButton* ButtonNext;
  QPushButton* ButtonCancel;
  QFrame* PanelImage;
  QLabel* ImageStep;
  QWidget* PanelSteps;
  QLabel* RzLabelTitle;
  QWidget* PanelCurrStep;
  QAction* ActionBack;
  QAction* ActionNext;
  QAction* ActionAnnuler;
  QTimer* TimerOneTime;

 signals:
  // A page has become the current page and is shown.
  void stepShown(kelvaro::TFrmStep* page);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreatePanels();
  void CreateButtonRow();
  void CreateActions();

  void FormShow();
  void TimerOneTimeTimer();
  void PanelCurrStepResize();
  void PanelImageResize();
  void ActionListMainUpdate();
  void ActionBackExecute();
  void ActionNextExecute();
  void ActionAnnulerExecute();

  void LoadAppInfo();
  void LoadUpdateInfo();
  void BuildStepList();
  bool LoadProductList();
  void UpdateActions();
  void ShowCurrentStep();
  TFrmStep* GetNextStep(TFrmStep* page) const;
  void ShowEndStep();
  void RunUpdate();
  void SetRunActionsEnabled(bool enabled);

  QList<TFrmStep*> mStepList;
  QList<TFrmStep*> mHistory;
  QStringList mProductNames;
  QStringList mInfoList;
  bool mTimerFired = false;
  bool mUpdateStarted = false;
  bool mShown = false;
  bool mInFormShow = false;
  bool mTimerHeld = false;
  // A product routine is on the stack: nothing may close the window or
  // move the wizard until it returns.
  bool mRoutineRunning = false;
  QString mWelcomeInfo;
  TAppNameType mAppType = antUnknown;
};

extern TfrmMain* frmMain;

}  // namespace kelvaro
