#include "wizard/main_window.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>
#include <functional>

#include "db/client_gate.h"
#include "engine/file_version.h"
#include "engine/update_common.h"
#include "engine/update_run.h"
#include "support/errors.h"
#include "support/user_seam.h"
#include "wizard/display_file_page.h"
#include "wizard/end_install_page.h"
#include "wizard/foreground.h"
#include "wizard/handler_guard.h"
#include "wizard/panel_layout.h"
#include "wizard/report_text_edit.h"
#include "wizard/rich_edit_lines.h"
#include "wizard/welcome_page.h"

namespace kelvaro {

TfrmMain* frmMain = nullptr;

namespace {

constexpr int kImageColumnWidth = 154;
constexpr int kTitleHeight = 37;

QFrame* Panel(QWidget* parent, const char* name) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  return panel;
}

QPushButton* Button(QWidget* parent, const char* name, const QRect& designBounds) {
  auto* button = new QPushButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(designBounds);
  return button;
}

// A push button that shows and follows an action, as a button bound to an
// action does: its caption and enabling come from the action, a click
// triggers it (and does nothing while it is disabled).
void BindButton(QPushButton* button, QAction* action) {
  auto follow = [button, action] {
    button->setText(action->text());
    button->setEnabled(action->isEnabled());
  };
  QObject::connect(action, &QAction::changed, button, follow);
  QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
  follow();
}

// Loads one carried text. A damaged one is said in the error box and the
// show handler goes on without it, as for a text that is not carried, so the
// pages are still built. False when the load raised.
bool LoadCarriedText(const std::function<void()>& load) {
  try {
    load();
    return true;
  } catch (const Error& error) {
    ShowErrorMessage(error.message());
    return false;
  }
}

class WaitCursor {
 public:
  WaitCursor() { BeginWaitCursor(); }
  ~WaitCursor() { EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TfrmMain::TfrmMain() : QWidget(nullptr) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  resize(947, 522);
  setMinimumSize(500, 400);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  // The window's own font, for the controls that set none (the button row,
  // the version label): the classic form font, in which the captions fit the
  // buttons' design widths; the toolkit's default font is wider and cut "<
  // Précédant". The title and the page area set their own.
  QFont formFont(QStringLiteral("MS Sans Serif"));
  formFont.setPixelSize(11);
  setFont(formFont);
  CreatePanels();
  CreateButtonRow();
  CreateActions();

  // The start timer only needs the event loop to run: the window is shown
  // before the loop starts, and a timer that comes due earlier (a box shown
  // while the pages or the engine are made runs the loop) waits for the
  // window's show handler. So no delay is added to the start-up.
  TimerOneTime = new QTimer(this);
  TimerOneTime->setObjectName(QStringLiteral("TimerOneTime"));
  TimerOneTime->setInterval(0);
  connect(TimerOneTime, &QTimer::timeout, this, [this] { RunHandler([this] { TimerOneTimeTimer(); }); });
  TimerOneTime->start();

  // The actions follow the state of the wizard whenever the program falls
  // idle, that is each time the event loop is about to wait.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          &TfrmMain::ActionListMainUpdate);
  ArrangePanelButtons(PanelButtons);
  // No control of this window carries a hint, so the hint display time has
  // nothing to apply to.
  update();
}

TfrmMain::~TfrmMain() {
  // The pages are separate forms that outlive the window; give back the one
  // on screen so the window's destruction does not take it along.
  for (TFrmStep* page : PanelCurrStep->findChildren<TFrmStep*>(Qt::FindDirectChildrenOnly)) {
    page->hide();
    page->setParent(nullptr);
  }
}

void TfrmMain::CreatePanels() {
  auto* windowLayout = new QVBoxLayout(this);
  windowLayout->setContentsMargins(0, 0, 0, 0);
  PanelMain = Panel(this, "PanelMain");
  windowLayout->addWidget(PanelMain);

  PanelImage = Panel(PanelMain, "PanelImage");
  PanelImage->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PanelImage->setFixedWidth(kImageColumnWidth);
  PanelImage->setAutoFillBackground(true);
  ImageStep = new QLabel(PanelImage);
  ImageStep->setObjectName(QStringLiteral("ImageStep"));
  PanelImage->installEventFilter(this);

  PanelSteps = new QWidget(PanelMain);
  PanelSteps->setObjectName(QStringLiteral("PanelSteps"));
  RzLabelTitle = new QLabel(PanelSteps);
  RzLabelTitle->setObjectName(QStringLiteral("RzLabelTitle"));
  RzLabelTitle->setTextFormat(Qt::PlainText);
  RzLabelTitle->setAlignment(Qt::AlignCenter);
  RzLabelTitle->setWordWrap(true);
  RzLabelTitle->setFixedHeight(kTitleHeight);
  QFont titleFont(QStringLiteral("Arial"));
  titleFont.setPixelSize(15);
  titleFont.setBold(true);
  RzLabelTitle->setFont(titleFont);
  RzLabelTitle->setAutoFillBackground(true);
  QPalette titleColours = RzLabelTitle->palette();
  titleColours.setColor(QPalette::Window, QColor(128, 128, 128));
  titleColours.setColor(QPalette::WindowText, Qt::white);
  RzLabelTitle->setPalette(titleColours);
  PanelCurrStep = new QWidget(PanelSteps);
  PanelCurrStep->setObjectName(QStringLiteral("PanelCurrStep"));
  QFont pageFont(QStringLiteral("MS Sans Serif"));
  pageFont.setPixelSize(15);
  PanelCurrStep->setFont(pageFont);
  PanelCurrStep->installEventFilter(this);
  auto* stepsLayout = new QVBoxLayout(PanelSteps);
  stepsLayout->setContentsMargins(0, 0, 0, 0);
  stepsLayout->setSpacing(0);
  stepsLayout->addWidget(RzLabelTitle);
  stepsLayout->addWidget(PanelCurrStep, 1);

  PanelButtons = Panel(PanelMain, "PanelButtons");
  auto* columns = new QHBoxLayout;
  columns->setSpacing(0);
  columns->addWidget(PanelImage);
  columns->addWidget(PanelSteps, 1);
  auto* mainLayout = new QVBoxLayout(PanelMain);
  mainLayout->setContentsMargins(0, 0, 0, 0);
  mainLayout->setSpacing(0);
  mainLayout->addLayout(columns, 1);
  mainLayout->addWidget(PanelButtons);
}

void TfrmMain::CreateButtonRow() {
  // Design size and positions; ArrangePanelButtons then lays the row out.
  PanelButtons->resize(947, 39);
  PanelButtons->installEventFilter(this);
  BevelButtons = Panel(PanelButtons, "BevelButtons");
  BevelButtons->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  BevelButtons->setGeometry(0, 0, PanelButtons->width(), 2);
  RzLabelVersion = new QLabel(QStringLiteral("Version : "), PanelButtons);
  RzLabelVersion->setObjectName(QStringLiteral("RzLabelVersion"));
  RzLabelVersion->setTextFormat(Qt::PlainText);
  RzLabelVersion->move(10, 10);
  ButtonPrev = Button(PanelButtons, "ButtonPrev", QRect(348, 7, 73, 25));
  ButtonNext = Button(PanelButtons, "ButtonNext", QRect(431, 7, 73, 25));
  ButtonCancel = Button(PanelButtons, "ButtonCancel", QRect(510, 7, 61, 25));
}

void TfrmMain::CreateActions() {
  ActionBack = new QAction(QStringLiteral("< Précédant"), this);
  ActionBack->setObjectName(QStringLiteral("ActionBack"));
  ActionNext = new QAction(this);
  ActionNext->setObjectName(QStringLiteral("ActionNext"));
  ActionAnnuler = new QAction(QStringLiteral("Annuler"), this);
  ActionAnnuler->setObjectName(QStringLiteral("ActionAnnuler"));
  BindButton(ButtonPrev, ActionBack);
  BindButton(ButtonNext, ActionNext);
  BindButton(ButtonCancel, ActionAnnuler);
  connect(ActionBack, &QAction::triggered, this, [this] { RunHandler([this] { ActionBackExecute(); }); });
  connect(ActionNext, &QAction::triggered, this, [this] { RunHandler([this] { ActionNextExecute(); }); });
  connect(ActionAnnuler, &QAction::triggered, this, [this] { RunHandler([this] { ActionAnnulerExecute(); }); });
  UpdateActions();
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (mShown) return;
  mShown = true;
  RunHandler([this] { FormShow(); });
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (watched == PanelCurrStep) PanelCurrStepResize();
    if (watched == PanelImage) PanelImageResize();
    if (watched == PanelButtons) BevelButtons->setGeometry(0, 0, PanelButtons->width(), 2);
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::FormShow() {
  // The start timer must not show the welcome page before the texts are
  // loaded: a box shown from here runs the event loop, so the timer is held
  // back until this handler is done.
  mInFormShow = true;
  struct EndOfShow {
    TfrmMain* window;
    ~EndOfShow() {
      window->mInFormShow = false;
      if (window->mTimerHeld) {
        QMetaObject::invokeMethod(
            window, [w = window] { RunHandler([w] { w->TimerOneTimeTimer(); }); }, Qt::QueuedConnection);
      }
    }
  } endOfShow{this};
  // The window system shows the window only after this handler: asked now,
  // it could not activate it and the request would wait in vain. The
  // request goes out as soon as the window is on screen.
  QMetaObject::invokeMethod(
      this, [this] { ForceForegroundWindow(this); }, Qt::QueuedConnection);
  setWindowTitle(QStringLiteral("Mise à jour Kelvaro"));
  FileVersionInfo info;
  ReadFileVersionInfo(QString(), info);
  RzLabelVersion->setText(RzLabelVersion->text() + info.FileVersion);
  RzLabelVersion->adjustSize();
  // Without the engine (its creation failed) there is nothing to load.
  if (!dmUpdateCommon) return;
  if (frmEndInstall) dmUpdateCommon->InitLog(frmEndInstall->RichEditReport);
  std::srand(unsigned(QDateTime::currentMSecsSinceEpoch()));
  LoadAppInfo();
  LoadUpdateInfo();
  BuildStepList();
  // Without a product list the handler ends here, silently; the wizard still
  // runs and a run then updates nothing.
  bool loaded = false;
  LoadCarriedText([&] { loaded = LoadProductList(); });
  if (!loaded) return;
}

void TfrmMain::LoadAppInfo() {
  LoadCarriedText([this] {
    if (dmUpdateCommon->LoadResourceFileList(QStringLiteral("AppInfo1.txt"), mInfoList) > 0) {
      RzLabelTitle->setText(mInfoList.first());
    }
  });
  LoadCarriedText([this] {
    if (dmUpdateCommon->LoadResourceFileList(QStringLiteral("AppInfo2.txt"), mInfoList) > 0) {
      mWelcomeInfo = mInfoList.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    }
  });
}

void TfrmMain::LoadUpdateInfo() {
  if (!frmDisplayFile) return;
  int lines = 0;
  // A damaged list of changes gets the replacement text, without the box
  // that says it is missing.
  if (!LoadCarriedText([&] {
        lines = dmUpdateCommon->LoadResourceFileToRich(QStringLiteral("UpdateInfo.txt"), frmDisplayFile->RichEditFile);
      })) {
    return;
  }
  if (lines == 0) ShowPlainMessage(QStringLiteral("Cannot load resource file %1").arg(QStringLiteral("UpdateInfo.txt")));
}

void TfrmMain::BuildStepList() {
  mStepList.clear();
  if (frmWelcome) mStepList.append(frmWelcome);
  if (frmDisplayFile) {
    mStepList.append(frmDisplayFile);
    if (RichEditLineCount(frmDisplayFile->RichEditFile) == 0) {
      // The leading empty line keeps the sentence off the top edge. The
      // control takes CR LF, like LF, as one paragraph break.
      frmDisplayFile->RichEditFile->setPlainText(
          QStringLiteral("\r\nCette mise à jour comporte uniquement des corrections internes."));
    }
  }
  QStringList steps;
  if (dmUpdateCommon->LoadResourceFileList(QStringLiteral("Steps.txt"), steps) > 0) {
    for (const QString& name : steps) {
      for (TFrmStep* page : TFrmStep::ExistingPages()) {
        if (page->objectName().compare(name, Qt::CaseInsensitive) != 0) continue;
        if (!mStepList.contains(page)) mStepList.append(page);
        break;
      }
    }
  }
  if (frmEndInstall && !mStepList.contains(frmEndInstall)) mStepList.append(frmEndInstall);
}

bool TfrmMain::LoadProductList() {
  const ProductListStatus status =
      kelvaro::LoadProductList(*dmUpdateCommon, [] { return db::CheckClientLibraryVersion(); }, &mProductNames);
  if (status == ProductListStatus::ClientRefused) {
    // Ends the event loop at its next turn, also when the loop has not
    // started yet.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    return false;
  }
  return status == ProductListStatus::Loaded;
}

TFrmStep* TfrmMain::GetCurrentStep() const { return mHistory.isEmpty() ? nullptr : mHistory.last(); }

TFrmStep* TfrmMain::GetNextStep(TFrmStep* page) const {
  const qsizetype index = mStepList.indexOf(page);
  if (index < 0) return mStepList.isEmpty() ? nullptr : mStepList.first();
  if (index < mStepList.size() - 1) return mStepList.at(index + 1);
  return nullptr;
}

void TfrmMain::ActionListMainUpdate() { UpdateActions(); }

void TfrmMain::UpdateActions() {
  // While a product routine runs the actions stay as the run set them:
  // closing the window or leaving the page then would pull the window and
  // the engine from under the routine.
  if (mRoutineRunning) return;
  TFrmStep* current = GetCurrentStep();
  if (current) {
    ActionBack->setEnabled(current != frmWelcome && !mUpdateStarted);
    ActionAnnuler->setEnabled(!mUpdateStarted);
    ActionNext->setEnabled(current->CanGoNext());
    ActionNext->setText(current->GetNextCaption());
  } else {
    ActionNext->setText(QString());
    ActionBack->setEnabled(false);
    ActionNext->setEnabled(false);
  }
}

void TfrmMain::ShowCurrentStep() {
  WaitCursor wait;
  for (TFrmStep* page : mStepList) {
    page->hide();
    page->setParent(nullptr);
  }
  TFrmStep* current = GetCurrentStep();
  if (!current) throw Error(QStringLiteral("Cannot get current step"));
  current->setParent(PanelCurrStep);
  PanelCurrStepResize();

  const QImage* bitmap = current->GetBitmap();
  ImageStep->setPixmap(bitmap ? QPixmap::fromImage(*bitmap) : QPixmap());
  ImageStep->adjustSize();
  // The column takes the colour of the picture's bottom-left pixel, so the
  // picture blends into it.
  QPalette column = PanelImage->palette();
  column.setColor(QPalette::Window, bitmap && !bitmap->isNull() ? bitmap->pixelColor(0, bitmap->height() - 1)
                                                               : palette().color(QPalette::Button));
  PanelImage->setPalette(column);
  PanelImageResize();

  current->Init();
  current->show();
  emit stepShown(current);
}

void TfrmMain::PanelCurrStepResize() {
  if (TFrmStep* current = GetCurrentStep()) current->setGeometry(0, 0, PanelCurrStep->width(), PanelCurrStep->height());
}

void TfrmMain::PanelImageResize() {
  ImageStep->move((PanelImage->width() - ImageStep->width()) / 2, (PanelImage->height() - ImageStep->height()) / 2);
}

void TfrmMain::TimerOneTimeTimer() {
  // Before the window is shown, or while its show handler runs, the texts
  // are not loaded yet: the show handler fires the timer again when it ends.
  if (!mShown || mInFormShow) {
    mTimerHeld = true;
    TimerOneTime->stop();
    return;
  }
  if (mTimerFired) return;
  mTimerFired = true;
  TimerOneTime->stop();
  if (!frmWelcome) return;
  frmWelcome->SetTexts(RzLabelTitle->text(), mWelcomeInfo);
  mHistory.append(frmWelcome);
  ShowCurrentStep();
}

void TfrmMain::ActionNextExecute() {
  if (mUpdateStarted) {
    close();
    return;
  }
  TFrmStep* current = GetCurrentStep();
  if (!current) throw Error(QStringLiteral("Cannot get current step"));
  current->BeforeGoNext();
  TFrmStep* next = GetNextStep(current);
  if (!next) throw Error(QStringLiteral("Next step is missing."));
  mHistory.append(next);
  ShowCurrentStep();
  // The report page is on screen before the update begins.
  if (GetCurrentStep() == frmEndInstall) RunUpdate();
}

void TfrmMain::ActionBackExecute() {
  if (!mHistory.isEmpty()) mHistory.removeLast();
  ShowCurrentStep();
}

void TfrmMain::ActionAnnulerExecute() {
  if (AskWarning(QStringLiteral("Voulez-vous annuler cette mise à jour"))) close();
}

void TfrmMain::ShowEndStep() {
  mHistory.append(frmEndInstall);
  ShowCurrentStep();
  UpdateActions();
}

void TfrmMain::SetRunActionsEnabled(bool enabled) {
  mRoutineRunning = !enabled;
  ActionBack->setEnabled(enabled);
  ActionNext->setEnabled(enabled);
  ActionAnnuler->setEnabled(enabled);
}

void TfrmMain::RunUpdate() {
  mUpdateStarted = true;
  if (!dmUpdateCommon) return;
  RunUpdateHooks hooks;
  hooks.setActionsEnabled = [this](bool enabled) { SetRunActionsEnabled(enabled); };
  hooks.showEndStep = [this] { ShowEndStep(); };
  hooks.afterOutcome = [] {
    ReportTextEdit* report = frmEndInstall->RichEditReport;
    report->ensureCursorVisible();
    report->setFocus();
  };
  // The wizard runs unsigned updates as it always did, and says which key
  // signed the others.
  UpdateTrust trust;
  trust.reportSignature = true;
  kelvaro::RunUpdate(*dmUpdateCommon, mProductNames, RzLabelTitle->text(), hooks, trust);
  mAppType = dmUpdateCommon->AppNameType();
}

}  // namespace kelvaro
