#include "app/uMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <thread>

#include "app/DropAcc.h"
#include "app/session/ShadedTexts.h"
#include "app/session/uAppConst.h"
#include "app/uAbout.h"
#include "app/uFormUtil.h"
#include "app/uMatu.h"
#include "app/uMirrorBornDlg.h"
#include "app/uSettings.h"
#include "app/uShadedView.h"
#include "app/uWindowTexts.h"
#include "import/assimp/M_assimp.h"
#include "model/ShadedModel.h"
#include "model/tree/AM_const.h"
#include "util/Errors.h"
#include "util/Ustrlib.h"
#include "view/qt/QtSurface.h"

namespace zevrin {
namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr long double kGridStep = 10.0L;
// One notch of the wheel, or one + or - key: a quarter closer or farther.
constexpr double kZoomStep = 1.25;
// Below this a step ends before the window would have looked disabled: it is not greyed at
// all, so that quick edits do not flicker.
constexpr int kDisableAfterMs = 150;

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

// The file types of the Save As dialog: the two model-file formats.

// The Save As glyph: the save glyph with a pencil across its lower right corner.
QIcon saveAsIcon(const QIcon& save) {
  QPixmap pixmap = save.pixmap(16, 16);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor(160, 40, 0), 2));
  painter.drawLine(8, 15, 15, 8);
  painter.setPen(QPen(QColor(40, 40, 40), 1));
  painter.drawPoint(7, 15);
  painter.end();
  return QIcon(pixmap);
}

}  // namespace

// --- TImage ---------------------------------------------------------------------------------

TImage::TImage(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  // A click or a turn of the wheel on the picture gives it the arrow keys and Space.
  setFocusPolicy(Qt::WheelFocus);
}

void TImage::SetPicture(QtSurface* picture) {
  picture_ = picture;
  update();
}

QImage TImage::Picture() const { return picture_ ? picture_->Image().copy() : QImage(); }

void TImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_) {
    painter.drawImage(0, 0, picture_->Image());
  } else {
    painter.fillRect(rect(), Qt::black);
  }
}

void TImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnResize) OnResize();
}

void TImage::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0 || !OnZoom) {
    QWidget::wheelEvent(event);
    return;
  }
  // 120 is one notch; finer wheels and touch pads send parts of one.
  OnZoom(std::pow(kZoomStep, delta / 120.0), event->position());
  event->accept();
}

void TImage::mousePressEvent(QMouseEvent* event) {
  const bool pan_button = event->button() == Qt::MiddleButton ||
                          event->button() == Qt::RightButton ||
                          (event->button() == Qt::LeftButton &&
                           (space_held_ || (event->modifiers() & Qt::AltModifier)));
  if (!pan_button) {
    QWidget::mousePressEvent(event);
    return;
  }
  dragging_ = true;
  drag_from_ = event->position();
  setCursor(Qt::ClosedHandCursor);
  event->accept();
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  const QPointF delta = event->position() - drag_from_;
  drag_from_ = event->position();
  if (OnShift) OnShift(delta.x(), delta.y());
  event->accept();
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  if (event->buttons() == Qt::NoButton) {
    dragging_ = false;
    if (space_held_) {
      setCursor(Qt::OpenHandCursor);
    } else {
      unsetCursor();
    }
  }
  event->accept();
}

void TImage::keyPressEvent(QKeyEvent* event) {
  // An arrow shows more of the model on its side: the picture moves the other way.
  const double step = std::max(width(), height()) / 10.0;
  switch (event->key()) {
    case Qt::Key_Space:
      if (!event->isAutoRepeat()) {
        space_held_ = true;
        if (!dragging_) setCursor(Qt::OpenHandCursor);
      }
      break;
    case Qt::Key_Left:
      if (OnShift) OnShift(step, 0);
      break;
    case Qt::Key_Right:
      if (OnShift) OnShift(-step, 0);
      break;
    case Qt::Key_Up:
      if (OnShift) OnShift(0, step);
      break;
    case Qt::Key_Down:
      if (OnShift) OnShift(0, -step);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void TImage::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    space_held_ = false;
    if (!dragging_) unsetCursor();
    event->accept();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

// --- TfrmMain: creation ---------------------------------------------------------------------

TfrmMain::TfrmMain(const QString& start_file, QWidget* parent) : QMainWindow(parent) {
  // OBJ, STL, PLY and the other formats Assimp reads open as polygon files; the Open
  // dialog's filter, made below, asks the reader for them.
  session_.PolygonReader = &assimp_reader_;
  setObjectName(QStringLiteral("frmMain"));
  setFont(DesignFont());
  resize(530, 417);
  createControls();
  createMenus();
  createHistoryItems();
  createZoomItems();
  createShadedItems();
  createRecentMenu();

  session_.Shared.DebugDump = false;
  LoadSettings();
  japanese_ = JapaneseFromEnvironment();
  applyLanguage();
  createExportAction();
  if (!start_file.isEmpty()) {
    start_file_ = QFileInfo(start_file).absoluteFilePath();
    session_.CurrentFile = ToCore(QDir::toNativeSeparators(start_file_));
  }
  comboDir->setCurrentIndex(0);
  View.SetExtent(-100, 100, 100, -100);
  View.SetDirection(ViewKind::Front);
  setWindowTitle(text(kProgramCaption));

  frmMatu = new TfrmMatu(this, japanese_);
  frmAbout = new TfrmAbout(this);
  dlgMirrorBorn = new TdlgMirrorBorn(this);
  session_.Progress = frmMatu;

  DropAccept = new TDropAccept(this);
  DropAccept->OnDropped = [this](TDropAccept&) { DropAcceptDropped(); };
  DropAccept->SetEnabled(true);
}

void TfrmMain::createControls() {
  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  setCentralWidget(client);

  PanelTop = new QFrame(client);
  PanelTop->setObjectName(QStringLiteral("PanelTop"));
  PanelTop->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PanelTop->setFixedHeight(97);
  layout->addWidget(PanelTop);

  const auto speedButton = [this](const char* name, int x, const QIcon& glyph) {
    auto* button = new QToolButton(PanelTop);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, 8, 25, 25);
    button->setIcon(glyph);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setEnabled(false);
    return button;
  };
  const QIcon save_glyph = style()->standardIcon(QStyle::SP_DialogSaveButton);
  sbtnOpen = speedButton("sbtnOpen", 8, style()->standardIcon(QStyle::SP_DialogOpenButton));
  sbtnSave = speedButton("sbtnSave", 32, save_glyph);
  sbtnSaveAs = speedButton("sbtnSaveAs", 56, saveAsIcon(save_glyph));
  // Open needs no document: a first click on it must do something.
  sbtnOpen->setEnabled(true);

  comboDir = new QComboBox(PanelTop);
  comboDir->setObjectName(QStringLiteral("comboDir"));
  comboDir->setGeometry(96, 8, 81, 22);

  edGosa = new QLineEdit(text("0"), PanelTop);
  edGosa->setObjectName(QStringLiteral("edGosa"));
  edGosa->setGeometry(329, 9, 89, 21);
  edGosa->setAcceptDrops(false);  // a file dropped here opens, as anywhere on the window

  LabelGosa = new QLabel(PanelTop);
  LabelGosa->setObjectName(QStringLiteral("LabelGosa"));
  LabelGosa->setGeometry(178, 13, 314 - 178, 15);
  LabelGosa->setAlignment(Qt::AlignRight | Qt::AlignTop);
  LabelGosa->setBuddy(edGosa);

  chkDisplayCpid = new QCheckBox(PanelTop);
  chkDisplayCpid->setObjectName(QStringLiteral("chkDisplayCpid"));
  chkDisplayCpid->setGeometry(433, 12, 90, 17);

  Memo = new QPlainTextEdit(PanelTop);
  Memo->setObjectName(QStringLiteral("Memo"));
  Memo->setGeometry(8, 40, 505, 49);
  Memo->setReadOnly(true);
  Memo->setAcceptDrops(false);

  ImageSD = new TImage(client);
  ImageSD->setObjectName(QStringLiteral("ImageSD"));
  ImageSD->OnResize = [this] { FormResize(); };
  ImageSD->OnZoom = [this](double factor, QPointF at) {
    changeView([&] { View.ZoomAbout(factor, at.x(), at.y()); });
  };
  ImageSD->OnShift = [this](double dx, double dy) { changeView([&] { View.ShiftBy(dx, dy); }); };
  layout->addWidget(ImageSD, 1);

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(false);
  StatusText = new QLabel(StatusBar);
  StatusText->setObjectName(QStringLiteral("StatusText"));
  StatusBar->addWidget(StatusText, 1);
  StatusNote = new QLabel(StatusBar);
  StatusNote->setObjectName(QStringLiteral("StatusNote"));
  StatusBar->addPermanentWidget(StatusNote);
  setStatusBar(StatusBar);

  OpenDialog = new QFileDialog(this);
  OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
  OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog->setFileMode(QFileDialog::ExistingFile);
  // Segment files are listed with the model files: the program saves them and reads them.
  const PolygonFileReader* reader = session_.PolygonReader;
  const QString more = reader ? QString::fromStdString(reader->Patterns()) : QString();
  const QString space = more.isEmpty() ? QString() : QStringLiteral(" ");
  QStringList filters{
      text("Zevrin Inport(MDL,DXF) (*.mdl *.seg *.dxf *.rok") + space + more + QStringLiteral(")"),
      text("AniMas Ver5(MDL) (*.mdl)"), text("Autocad(DXF) (*.dxf)"),
      text("RokkakuDaiou(ROK) (*.rok)")};
  if (!more.isEmpty())
    filters.append(text("Polygon(OBJ,STL,PLY,...) (") + more + QStringLiteral(")"));
  filters.append(text("All files (*)"));
  OpenDialog->setNameFilters(filters);
  SaveDialog = new QFileDialog(this);
  SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
  SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog->setFileMode(QFileDialog::AnyFile);
  SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
  SaveDialog->setNameFilters({text(kBracketedFilter), text(kTagFilter)});

  connect(sbtnOpen, &QToolButton::clicked, this, [this] { sbtnOpenClick(); });
  connect(sbtnSave, &QToolButton::clicked, this, [this] { sbtnSaveClick(); });
  connect(sbtnSaveAs, &QToolButton::clicked, this, [this] { sbtnSaveAsClick(); });
  connect(comboDir, &QComboBox::currentIndexChanged, this, [this] { comboDirChange(); });
  connect(chkDisplayCpid, &QCheckBox::toggled, this, [this] { chkDisplayCpidClick(); });
}

void TfrmMain::createMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));
  const auto menu = [this, bar](const char* name) {
    QMenu* m = bar->addMenu(QString());
    m->setObjectName(QString::fromLatin1(name));
    m->setFont(DesignFont());
    return m;
  };
  const auto item = [this](QMenu* m, const char* name, void (TfrmMain::*handler)()) {
    QAction* action = m->addAction(QString());
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
  };

  mnFile = menu("mnFile");
  mnOpen = item(mnFile, "mnOpen", &TfrmMain::sbtnOpenClick);
  mnOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  mnSave = item(mnFile, "mnSave", &TfrmMain::sbtnSaveClick);
  mnSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  mnSaveAs = item(mnFile, "mnSaveAs", &TfrmMain::sbtnSaveAsClick);
  mnFile->addSeparator();
  mnExpandInserts = mnFile->addAction(QString());
  mnExpandInserts->setObjectName(QStringLiteral("mnExpandInserts"));
  mnExpandInserts->setCheckable(true);
  connect(mnExpandInserts, &QAction::toggled, this,
          [this](bool on) { session_.Polygons.ExpandInserts = on; });
  mnFile->addSeparator();
  mnExit = mnFile->addAction(QString());
  mnExit->setObjectName(QStringLiteral("mnExit"));
  connect(mnExit, &QAction::triggered, this, &QWidget::close);

  mnEdit = menu("mnEdit");
  mnHalvejoin = item(mnEdit, "mnHalvejoin", &TfrmMain::mnHalvejoinClick);
  mnConnectGroupedSplines =
      item(mnEdit, "mnConnectGroupedSplines", &TfrmMain::mnConnectGroupedSplinesClick);
  mnAttachall = item(mnEdit, "mnAttachall", &TfrmMain::mnAttachallClick);
  mnDetachall = item(mnEdit, "mnDetachall", &TfrmMain::mnDetachallClick);
  mnMirrorBorn = item(mnEdit, "mnMirrorBorn", &TfrmMain::mnMirrorBornClick);

  mnView = menu("mnView");
  mnViewMae = mnView->addAction(QString());
  mnViewHidari = mnView->addAction(QString());
  mnViewUe = mnView->addAction(QString());
  mnViewShaded = mnView->addAction(QString());
  mnViewShaded->setObjectName(QStringLiteral("mnViewShaded"));
  int view_item = 0;
  for (QAction* action : {mnViewMae, mnViewHidari, mnViewUe, mnViewShaded}) {
    connect(action, &QAction::triggered, this, [this, view_item] { selectView(view_item); });
    ++view_item;
  }
  mnViewMae->setObjectName(QStringLiteral("mnViewMae"));
  mnViewHidari->setObjectName(QStringLiteral("mnViewHidari"));
  mnViewUe->setObjectName(QStringLiteral("mnViewUe"));

  mnHelp = menu("mnHelp");
  mnAbout = item(mnHelp, "mnAbout", &TfrmMain::mnAboutClick);

  for (QAction* action : {mnSave, mnSaveAs, mnHalvejoin, mnConnectGroupedSplines, mnAttachall,
                          mnDetachall, mnMirrorBorn})
    action->setEnabled(false);
}

// The captions as designed (Japanese), replaced by the English ones in English mode. The Edit
// menu's caption and the id check box stay Japanese in both.
void TfrmMain::applyLanguage() {
  const bool ja = japanese_;
  const auto pick = [ja](const char* japanese, const char* english) {
    return text(ja ? japanese : english);
  };
  mnFile->setTitle(pick("ファイル(&F)", "&File"));
  mnOpen->setText(pick("開く(&O)", "&Open.."));
  mnSave->setText(pick("上書き保存(&S)", "&Save"));
  mnSaveAs->setText(pick("名前を付けて保存(&A)", "&Save As.."));
  mnExpandInserts->setText(pick("DXFの挿入ブロックを展開(&I)", "Expand DXF &Inserts"));
  mnExit->setText(pick("終了(&X)", "E&xit"));
  mnEdit->setTitle(text("編集(&E)"));
  mnHalvejoin->setText(text("&Halvejoin"));
  mnConnectGroupedSplines->setText(text("&Connect grouped splines"));
  mnAttachall->setText(text("&Attach all"));
  mnDetachall->setText(text("&Detach all"));
  mnMirrorBorn->setText(text("&Mirror Bone"));
  mnView->setTitle(pick("表示(&V)", "&View"));
  mnViewMae->setText(pick("前(&F)", "&Front"));
  mnViewHidari->setText(pick("左(&L)", "&Left"));
  mnViewUe->setText(pick("上(&T)", "&Top"));
  mnHelp->setTitle(pick("ヘルプ(&H)", "&Help"));
  mnAbout->setText(pick("Zevrinについて(&A)", "&About.."));

  sbtnOpen->setToolTip(pick("ファイルを開く", "Open"));
  sbtnSave->setToolTip(pick("上書き保存", "Save"));
  sbtnSaveAs->setToolTip(pick("名前を付けて保存", "Save As"));
  {
    const QSignalBlocker quiet(comboDir);
    comboDir->clear();
    comboDir->addItems({pick("前", "Front"), pick("左", "Left"), pick("上", "Top"),
                        FromCore(ShadedComboItem(ja))});
  }
  mnViewShaded->setText(FromCore(ShadedViewItem(ja)));
  mnShadedSplines->setText(FromCore(ShadedSplinesItem(ja)));
  LabelGosa->setText(pick("X=0平面に対する誤差(&G)", "Correct Plane X=0(&G)"));
  chkDisplayCpid->setText(text("CPID表示"));

  mnRecent->setTitle(texts::RecentMenu(ja));
  mnZoomIn->setText(texts::ZoomInItem(ja));
  mnZoomOut->setText(texts::ZoomOutItem(ja));
  mnFit->setText(texts::FitItem(ja));
  updateHistoryItems();
}

// Undo and Redo head the Edit menu, named after the edit they take back or do again.
void TfrmMain::createHistoryItems() {
  QAction* first = mnHalvejoin;
  mnUndo = new QAction(mnEdit);
  mnUndo->setObjectName(QStringLiteral("mnUndo"));
  mnUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  mnRedo = new QAction(mnEdit);
  mnRedo->setObjectName(QStringLiteral("mnRedo"));
  mnRedo->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  mnEdit->insertAction(first, mnUndo);
  mnEdit->insertAction(first, mnRedo);
  mnEdit->insertSeparator(first);
  connect(mnUndo, &QAction::triggered, this, [this] { mnUndoClick(); });
  connect(mnRedo, &QAction::triggered, this, [this] { mnRedoClick(); });
}

// Zoom in, out and back to the fitted picture, below the three directions.
void TfrmMain::createZoomItems() {
  mnView->addSeparator();
  const auto item = [this](const char* name, QList<QKeySequence> keys) {
    QAction* action = mnView->addAction(QString());
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    return action;
  };
  mnZoomIn = item("mnZoomIn", {QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                               QKeySequence(QKeySequence::ZoomIn)});
  mnZoomOut = item("mnZoomOut", {QKeySequence(Qt::Key_Minus), QKeySequence(QKeySequence::ZoomOut)});
  mnFit = item("mnFit", {QKeySequence(Qt::Key_Home)});
  connect(mnZoomIn, &QAction::triggered, this, [this] { zoomBy(kZoomStep); });
  connect(mnZoomOut, &QAction::triggered, this, [this] { zoomBy(1 / kZoomStep); });
  connect(mnFit, &QAction::triggered, this, [this] {
    if (ShadedShown()) {
      if (Shaded) Shaded->Fit();
      return;
    }
    changeView([this] { View.Fit(); });
  });
}

// Below the zoom items: whether the shaded view draws the splines over the surface.
void TfrmMain::createShadedItems() {
  mnView->addSeparator();
  mnShadedSplines = mnView->addAction(QString());
  mnShadedSplines->setObjectName(QStringLiteral("mnShadedSplines"));
  mnShadedSplines->setCheckable(true);
  mnShadedSplines->setChecked(true);
  connect(mnShadedSplines, &QAction::toggled, this, [this](bool on) {
    if (Shaded) Shaded->SetSplines(on);
  });
}

bool TfrmMain::ShadedShown() const { return comboDir->currentIndex() == 3; }

void TfrmMain::showShaded(bool shown) {
  if (shown && !Shaded) {
    // Made only when first chosen: a window that never shows the surface never asks for
    // OpenGL, and its wireframe stays exactly as it was.
    Shaded = new TShadedView(centralWidget(), software_shading_);
    Shaded->setObjectName(QStringLiteral("Shaded"));
    Shaded->SetSplines(mnShadedSplines->isChecked());
    const bool ja = japanese_;
    Shaded->SetButtonTexts(FromCore(ShadedFrontButton(ja)), FromCore(ShadedLeftButton(ja)),
                           FromCore(ShadedTopButton(ja)), FromCore(ShadedFitButton(ja)));
    Shaded->OnCameraChanged = [this] { refreshNote(); };
    Shaded->hide();
    static_cast<QVBoxLayout*>(centralWidget()->layout())->insertWidget(2, Shaded, 1);
  }
  if (!Shaded || Shaded->isVisible() == shown) return;
  // The surface's note is longer than the wireframe's: the status text gives way rather than
  // widening the window.
  StatusText->setMinimumWidth(shown ? 1 : 0);
  if (shown) {
    ImageSD->hide();
    Shaded->show();
    Shaded->setFocus();
  } else {
    Shaded->hide();
    ImageSD->show();
  }
}

void TfrmMain::updateScene() {
  if (!Shaded || !session_.Document || !scene_stale_) return;
  std::shared_ptr<const ShadedScene> scene;
  try {
    runStep(FromCore(ShadedStep(japanese_)), [&] {
      ProgressShown shown(frmMatu);
      Progress bars(frmMatu->MainBar(), frmMatu->SubBar(), frmMatu->CancelFlag());
      scene = std::make_shared<const ShadedScene>(BuildShadedScene(*session_.Document, bars));
    });
  } catch (const ZevrinError& e) {
    if (e.kind() != ErrorKind::Cancelled) throw;
    // The document is whole; only its picture is missing until the view is chosen again.
    frmMatu->Hide();
    Shaded->SetScene(nullptr);
    scene_.reset();
    setNote(FromCore(ShadedNotMade(japanese_)));
    return;
  }
  scene_stale_ = false;
  scene_ = std::move(scene);
  Shaded->SetScene(scene_);
}

// The files opened last, right below Open.
void TfrmMain::createRecentMenu() {
  mnRecent = new QMenu(mnFile);
  mnRecent->setObjectName(QStringLiteral("mnRecent"));
  mnRecent->setFont(DesignFont());
  mnFile->insertMenu(mnSave, mnRecent);
}

void TfrmMain::fillRecentMenu() {
  mnRecent->clear();
  int n = 0;
  for (const QString& path : recent_.Paths()) {
    ++n;
    QAction* action = mnRecent->addAction(QStringLiteral("&%1 %2").arg(n).arg(path));
    action->setObjectName(QStringLiteral("mnRecent%1").arg(n));
    connect(action, &QAction::triggered, this, [this, path] { OpenFile(path); });
  }
  mnRecent->setEnabled(n > 0);
}

// --- Settings ------------------------------------------------------------------------------

void TfrmMain::LoadSettings() {
  RegIni = std::make_unique<SettingsStore>();
  OpenDialogDir = RegIni->ReadString(kMainSection, QStringLiteral("OpenDialogDir"), QString());
  edGosa->setText(RegIni->ReadString(kMainSection, QStringLiteral("GosaX"), text("0.4")));
  {
    const QSignalBlocker quiet(chkDisplayCpid);
    chkDisplayCpid->setChecked(
        RegIni->ReadBool(kMainSection, QStringLiteral("DisplayCpid"), false));
  }
  mnExpandInserts->setChecked(
      RegIni->ReadBool(kMainSection, QStringLiteral("ExpandInserts"), false));
  recent_.Load(*RegIni);
  stored_geometry_ = QByteArray::fromBase64(
      RegIni->ReadString(kMainSection, QStringLiteral("WindowGeometry"), QString()).toLatin1());
  // The undo steps may take this much memory (MiB); 0 keeps none.
  undo_budget_mb_ = std::max(
      0, RegIni->ReadInteger(kMainSection, QStringLiteral("UndoBudgetMB"), undo_budget_mb_));
  history_.SetBudget(static_cast<std::size_t>(undo_budget_mb_) << 20);
  // Seconds the process reading an Assimp format may take; 0: the default for the file's size.
  assimp_reader_.Limits.Seconds =
      std::max(0, RegIni->ReadInteger(kMainSection, QStringLiteral("ReaderTimeout"), 0));
  RegIni.reset();
  fillRecentMenu();
  View.ShowCpid = chkDisplayCpid->isChecked();
}

void TfrmMain::SaveSettings() {
  RegIni = std::make_unique<SettingsStore>();
  RegIni->WriteString(kMainSection, QStringLiteral("OpenDialogDir"), OpenDialogDir);
  RegIni->WriteString(kMainSection, QStringLiteral("Gosax"), edGosa->text());
  RegIni->WriteBool(kMainSection, QStringLiteral("DisplayCpid"), chkDisplayCpid->isChecked());
  RegIni->WriteBool(kMainSection, QStringLiteral("ExpandInserts"), mnExpandInserts->isChecked());
  recent_.Save(*RegIni);
  if (!keep_design_size_)
    RegIni->WriteString(kMainSection, QStringLiteral("WindowGeometry"),
                        QString::fromLatin1(saveGeometry().toBase64()));
  RegIni->WriteInteger(kMainSection, QStringLiteral("UndoBudgetMB"), undo_budget_mb_);
  RegIni->WriteInteger(kMainSection, QStringLiteral("ReaderTimeout"),
                       static_cast<std::int32_t>(assimp_reader_.Limits.Seconds));
  RegIni.reset();
}

TfrmMain::~TfrmMain() {
  SaveSettings();
  session_.Document.reset();
  // The drop component unhooks itself from the window while the window is still whole.
  delete DropAccept;
  DropAccept = nullptr;
  // The bars die with the progress window; the core must not reach them afterwards.
  session_.Progress = nullptr;
}

// --- Window events -------------------------------------------------------------------------

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TfrmMain::FormShow() {
  CentreOnScreen(*this);
  // Where and how large the last run left the window, if it was kept.
  if (!keep_design_size_ && !stored_geometry_.isEmpty()) restoreGeometry(stored_geometry_);
  ShowStatus(text(kVersionStatus));
  // The file named on the command line opens once the window stands.
  if (!start_file_.isEmpty()) {
    QMetaObject::invokeMethod(
        this, [this] { OpenFile(start_file_); }, Qt::QueuedConnection);
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  // A command holds the document until it returns; a changed document is not dropped unasked.
  if (busy_ || !maybeSave()) {
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

bool TfrmMain::event(QEvent* event) {
  // Menu hints would wipe the status line; it keeps the outcome of the last command.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

void TfrmMain::FormResize() {
  if (busy_) {
    resize_pending_ = true;
    return;
  }
  command([this] {
    Resize_virtual_screen();
    Redisplay();
  });
}

void TfrmMain::Resize_virtual_screen() {
  const int width = std::max(1, ImageSD->width());
  const int height = std::max(1, ImageSD->height());
  auto picture = std::make_unique<QtSurface>(width, height);
  View.SetCanvas(picture.get(), width, height);
  picture_ = std::move(picture);
  ImageSD->SetPicture(picture_.get());
  View.ClearScreen(kBlack);
  View.DrawGrid(kGridStep);
}

void TfrmMain::Redisplay() {
  showShaded(ShadedShown());
  if (ShadedShown()) {
    updateScene();
    refreshNote();
    return;
  }
  if (!session_.Document || !picture_) return;
  // A point the picture cannot hold is the model's fault.
  WithFile(session_.CurrentFile, [&] {
    View.Redisplay(session_.Document.get(), ViewKindOfItem(comboDir->currentIndex()));
  });
  ImageSD->update();
  drawn_zoom_ = View.Zoom;
  drawn_shift_x_ = View.ShiftX;
  drawn_shift_y_ = View.ShiftY;
  labels_note_ = View.ShowCpid && View.LabelsLeftOut() > 0
                     ? texts::LabelsLeftOut(japanese_, View.LabelsShown(), View.LabelsLeftOut())
                     : QString();
  refreshNote();
}

void TfrmMain::ShowStatus(const QString& status) { StatusText->setText(status); }

void TfrmMain::setNote(const QString& note) {
  step_note_ = note;
  refreshNote();
}

void TfrmMain::refreshNote() {
  QStringList notes;
  if (ShadedShown() && Shaded) {
    if (!step_note_.isEmpty()) notes.append(step_note_);
    if (const ShadedScene* scene = Shaded->Scene(); scene && session_.Document)
      notes.append(
          FromCore(ShadedCounts(japanese_, scene->Patches, scene->Holes, scene->Unorientable)));
    notes.append(FromCore(ShadedAngles(japanese_, Shaded->Camera().Yaw, Shaded->Camera().Pitch)));
    if (Shaded->InSoftware()) notes.append(FromCore(ShadedInSoftware(japanese_)));
    StatusNote->setText(notes.join(QStringLiteral("  |  ")));
    return;
  }
  for (const QString& note : {step_note_, labels_note_})
    if (!note.isEmpty()) notes.append(note);
  if (session_.Document && !View.IsFitted()) notes.append(texts::ZoomNote(japanese_, View.Zoom));
  StatusNote->setText(notes.join(QStringLiteral("  |  ")));
}

void TfrmMain::changeView(const std::function<void()>& change) {
  // The document may be half edited on the step's thread: the picture waits for it.
  if (!session_.Document || !picture_) return;
  change();
  if (busy_) {
    resize_pending_ = true;
    return;
  }
  // Wheel notches and drag moves that arrive together make one picture.
  if (redraw_pending_) return;
  redraw_pending_ = true;
  QTimer::singleShot(0, this, [this] {
    redraw_pending_ = false;
    redrawView();
  });
}

void TfrmMain::redrawView() {
  command([this] {
    try {
      Redisplay();
    } catch (const ZevrinError& e) {
      if (e.kind() != ErrorKind::RangeCheck || View.IsFitted()) throw;
      // Some point lies beyond the pixel range at this zoom: back to the last picture drawn.
      View.Zoom = drawn_zoom_;
      View.ShiftX = drawn_shift_x_;
      View.ShiftY = drawn_shift_y_;
      Redisplay();
    }
  });
}

void TfrmMain::zoomBy(double factor) {
  if (ShadedShown()) {
    if (Shaded) Shaded->ZoomBy(factor);
    return;
  }
  const QSize size = ImageSD->size();
  changeView([&] { View.ZoomAbout(factor, size.width() / 2.0, size.height() / 2.0); });
}

void TfrmMain::SetMemo(const std::vector<std::string>& lines) {
  memo_lines_ = lines;
  QStringList shown;
  for (const std::string& line : lines) shown.append(FromCore(line));
  Memo->setPlainText(shown.join(QLatin1Char('\n')));
}

void TfrmMain::SetResultMemo(std::vector<std::string> lines, const StepResult& result) {
  if (result.LeftOut != SaveOmissions{})
    lines.push_back(ToCore(texts::LeftOutLine(japanese_, result.LeftOut)));
  SetMemo(lines);
}

QString TfrmMain::CurrentFile() const { return FromCore(session_.CurrentFile); }

// --- Commands ------------------------------------------------------------------------------

bool TfrmMain::command(const std::function<void()>& body) {
  if (busy_) return false;
  busy_ = true;
  bool ok = false;
  bool cancelled = false;
  QString failure;
  try {
    body();
    ok = true;
  } catch (const ZevrinError& e) {
    cancelled = e.kind() == ErrorKind::Cancelled;
    failure = FromCore(e.describe(japanese_));
  } catch (const std::bad_alloc&) {
    failure = text(japanese_ ? "メモリが不足しています" : "Out of memory");
  } catch (const std::exception& e) {
    failure = QString::fromLocal8Bit(e.what());
  }
  if (cancelled) {
    // The user asked for it: no error, and the document is the one kept before the step.
    frmMatu->Hide();
    ShowStatus(texts::Cancelled(japanese_));
  } else if (!ok) {
    frmMatu->Hide();
    showError(failure);
  }
  busy_ = false;
  if (resize_pending_) {
    resize_pending_ = false;
    FormResize();
  }
  if (drop_pending_) {
    drop_pending_ = false;
    QMetaObject::invokeMethod(
        this, [this] { DropAcceptDropped(); }, Qt::QueuedConnection);
  }
  return ok;
}

void TfrmMain::showError(const QString& message) {
  if (error_sink_) {
    error_sink_(message);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Zevrin"), message, QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.exec();
}

void TfrmMain::runStep(const QString& step, const std::function<void()>& work) {
  frmMatu->Begin(step);
  const QPointer<QWidget> focus = QApplication::focusWidget();
  std::exception_ptr failure;
  {
    QEventLoop loop;
    // The rest of the window takes no input while the step runs; it is greyed only when the
    // step takes long enough for that to be seen.
    QTimer::singleShot(kDisableAfterMs, &loop, [this] {
      menuBar()->setEnabled(false);
      centralWidget()->setEnabled(false);
    });
    std::thread worker([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      // Queued behind the bars' last moves and the progress window's Hide.
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
  }
#if defined(__GLIBC__)
  // A step frees whole documents (a dropped undo step, the copy of a cancelled edit, the
  // tree a load replaced), often made on another thread's heap: give the pages back, so that
  // the memory the system sees is the memory the window holds.
  malloc_trim(0);
#endif
  menuBar()->setEnabled(true);
  centralWidget()->setEnabled(true);
  if (focus) focus->setFocus();
  if (failure) std::rethrow_exception(failure);
}

StepResult TfrmMain::runEdit(const char* caption,
                             const std::function<StepResult(DocumentSession&)>& edit) {
  setNote(QString());
  const QString name = texts::EditName(caption);
  StepResult result;
  runStep(name, [&] { result = history_.Apply(session_, ToCore(name), memo_lines_, edit); });
  geometryChanged();
  if (history_.LastNotKept()) {
    setNote(texts::StepNotKept(japanese_, history_.Budget()));
  } else if (history_.LastDropped() > 0) {
    setNote(texts::OldestStepsDropped(japanese_, history_.LastDropped(), history_.Budget()));
  }
  return result;
}

void TfrmMain::documentChanged() {
  updateTitle();
  updateHistoryItems();
}

void TfrmMain::updateHistoryItems() {
  const bool busy_or_empty = !session_.Document;
  mnUndo->setText(texts::UndoItem(japanese_, FromCore(history_.UndoName())));
  mnRedo->setText(texts::RedoItem(japanese_, FromCore(history_.RedoName())));
  mnUndo->setEnabled(!busy_or_empty && history_.CanUndo());
  mnRedo->setEnabled(!busy_or_empty && history_.CanRedo());
}

void TfrmMain::updateTitle() {
  const QString file = session_.Document ? CurrentFile() : QString();
  setWindowTitle(texts::Title(text(kProgramCaption), file, history_.Modified()));
}

bool TfrmMain::maybeSave() {
  if (!session_.Document || !history_.Modified()) return true;
  QMessageBox box(QMessageBox::Warning, texts::SaveChangesTitle(japanese_),
                  texts::SaveChanges(japanese_, CurrentFile()),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("SaveChangesBox"));
  box.setDefaultButton(QMessageBox::Save);
  box.button(QMessageBox::Save)->setText(texts::SaveButton(japanese_));
  box.button(QMessageBox::Discard)->setText(texts::DiscardButton(japanese_));
  box.button(QMessageBox::Cancel)->setText(texts::CancelButton(japanese_));
  switch (box.exec()) {
    case QMessageBox::Save:
      sbtnSaveClick();
      // A save that failed (its error has been shown) keeps the document open.
      return !history_.Modified();
    case QMessageBox::Discard:
      return true;
    default:
      return false;
  }
}

bool TfrmMain::LoadDocument() {
  const std::string file = session_.CurrentFile;
  StepResult result;
  runStep(texts::OpeningStep(japanese_, FromCore(file)), [&] {
    result = session_.LoadDocument();
    // The old document's undo steps go with it, here rather than on the window's thread.
    if (result.Outcome == LoadOutcome::Loaded) history_.Reset();
  });
  if (result.Outcome == LoadOutcome::Loaded) geometryChanged();
  switch (result.Outcome) {
    case LoadOutcome::FileMissing:
      ShowStatus(ZevrinError(ErrorKind::FileMissing, file).message(japanese_));
      recent_.Remove(FromCore(file));
      fillRecentMenu();
      showError(texts::NoSuchFile(japanese_, FromCore(file)));
      return false;
    case LoadOutcome::WrongExtension:
      ShowStatus(ZevrinError(ErrorKind::WrongExtension, file).message(japanese_));
      return false;
    case LoadOutcome::Loaded:
      break;
  }
  WriteResultFiles(result);
  SetResultMemo(result.Memo, result);
  for (QAction* action : {mnSave, mnSaveAs, mnHalvejoin, mnConnectGroupedSplines, mnAttachall,
                          mnDetachall, mnMirrorBorn})
    action->setEnabled(true);
  for (QToolButton* button : {sbtnOpen, sbtnSave, sbtnSaveAs}) button->setEnabled(true);
  ShowStatus(StatusOpened(japanese_, session_.CurrentFile));
  recent_.Add(FromCore(session_.CurrentFile));
  fillRecentMenu();
  View.Fit();
  documentChanged();
  return true;
}

bool TfrmMain::OpenFile(const QString& path) {
  if (busy_ || !maybeSave()) return false;
  // A file that did not open leaves the document with the path it came from, so that Save
  // never writes the old document over the file the user failed to open.
  const std::string previous = session_.CurrentFile;
  bool loaded = false;
  command([&] {
    setNote(QString());
    session_.CurrentFile = ToCore(path);
    loaded = LoadDocument();
    if (loaded) Redisplay();
  });
  if (!loaded) session_.CurrentFile = previous;
  return loaded;
}

double TfrmMain::Tolerance() const { return StrToFloat(ToCore(edGosa->text())); }

void TfrmMain::sbtnOpenClick() {
  if (busy_) return;
  OpenDialog->setDirectory(OpenDialogDir);
  if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty()) return;
  const QString path = QDir::toNativeSeparators(OpenDialog->selectedFiles().constFirst());
  OpenDialogDir = QDir::toNativeSeparators(QFileInfo(path).absolutePath() + QLatin1Char('/'));
  OpenFile(path);
}

void TfrmMain::sbtnSaveClick() {
  command([this] {
    if (!session_.Document) return;
    session_.SaveDocument(session_.CurrentFile);
    history_.MarkSaved();
    ShowStatus(StatusSaved(japanese_, session_.SaveFile));
    documentChanged();
  });
}

void TfrmMain::sbtnSaveAsClick() {
  if (busy_ || !session_.Document) return;
  // A tag file saves as a tag file; any other model in either format.
  if (session_.IsTagFile()) {
    SaveDialog->setNameFilters({text(kTagFilter)});
  } else {
    SaveDialog->setNameFilters({text(kBracketedFilter), text(kTagFilter)});
  }
  SaveDialog->selectNameFilter(
      text(session_.Format == SaveFormat::Tag ? kTagFilter : kBracketedFilter));
  SaveDialog->selectFile(CurrentFile());
  if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty()) return;
  const QString path = QDir::toNativeSeparators(SaveDialog->selectedFiles().constFirst());
  const SaveFormat format = SaveDialog->selectedNameFilter() == text(kTagFilter)
                                ? SaveFormat::Tag
                                : SaveFormat::Bracketed;
  command([this, &path, format] {
    const SaveFormat was = session_.Format;
    session_.Format = format;
    try {
      session_.SaveDocument(ToCore(path));
    } catch (...) {
      session_.Format = was;  // nothing was saved: the next Save writes as before
      throw;
    }
    // The work is on disk, if under another name: nothing would be lost now.
    history_.MarkSaved();
    ShowStatus(StatusSavedAs(japanese_, session_.SaveFile));
    recent_.Add(FromCore(session_.SaveFile));
    fillRecentMenu();
    documentChanged();
  });
}

void TfrmMain::mnHalvejoinClick() {
  command([this] {
    if (!session_.Document) return;
    const double tolerance = Tolerance();
    // A model that is whole already would be doubled: the user may have meant another edit.
    if (HasPointsOnBothSides(*session_.Document, tolerance)) {
      QMessageBox box(QMessageBox::Question, texts::AlreadyWholeTitle(japanese_),
                      texts::AlreadyWhole(japanese_), QMessageBox::Yes | QMessageBox::No, this);
      box.setObjectName(QStringLiteral("AlreadyWholeBox"));
      box.setDefaultButton(QMessageBox::No);
      if (box.exec() != QMessageBox::Yes) return;
    }
    const StepResult result =
        runEdit("&Halvejoin", [tolerance](DocumentSession& s) { return s.Halvejoin(tolerance); });
    // The memo and the status first: a picture that fails to draw must not hide what the
    // edit did.
    WriteResultFiles(result);
    SetResultMemo(result.Memo, result);
    ShowStatus(StatusHalvejoined(japanese_, session_.CurrentFile));
    documentChanged();
    View.Fit();
    Redisplay();
  });
}

void TfrmMain::mnConnectGroupedSplinesClick() {
  command([this] {
    if (!session_.Document) return;
    const StepResult result = runEdit("&Connect grouped splines",
                                      [](DocumentSession& s) { return s.ConnectGroupedSplines(); });
    WriteResultFiles(result);
    SetResultMemo(result.Memo, result);
    ShowStatus(StatusConnected(japanese_, session_.CurrentFile));
    documentChanged();
    View.Fit();
    Redisplay();
  });
}

// Attach all and Detach all leave the picture as it was (it does not change); the memo gets
// the counts, and how many points hang on others before and after.
void TfrmMain::attachEdit(const char* caption, StepResult (DocumentSession::*edit)(),
                          const std::string& status) {
  command([=, this] {
    if (!session_.Document) return;
    std::int64_t before = 0, after = 0;
    const StepResult result = runEdit(caption, [&](DocumentSession& s) {
      before = CountAttachedPoints(*s.Document);
      StepResult r = (s.*edit)();
      after = CountAttachedPoints(*s.Document);
      return r;
    });
    WriteResultFiles(result);
    std::vector<std::string> memo = session_.CountLines();
    memo.push_back(ToCore(texts::AttachedLine(before, after)));
    SetResultMemo(memo, result);
    ShowStatus(status);
    documentChanged();
    // The wireframe is the same, but welded points may close patches or open them.
    if (ShadedShown()) Redisplay();
  });
}

void TfrmMain::mnAttachallClick() {
  attachEdit("&Attach all", &DocumentSession::AttachAll, StatusAttached(japanese_));
}

void TfrmMain::mnDetachallClick() {
  attachEdit("&Detach all", &DocumentSession::DetachAll, StatusDetached(japanese_));
}

void TfrmMain::mnMirrorBornClick() {
  command([this] {
    if (!session_.Document) return;
    if (dlgMirrorBorn->exec() != QDialog::Accepted) return;
    // The dialog has stored its choice already when the tolerance turns out to be no number.
    session_.Shared.Mirror = dlgMirrorBorn->Settings();
    const double tolerance = Tolerance();
    const StepResult result = runEdit(
        "&Mirror Bone", [tolerance](DocumentSession& s) { return s.MirrorBone(tolerance); });
    WriteResultFiles(result);
    std::vector<std::string> memo = session_.CountLines();
    memo.push_back(ToCore(texts::BonesCopiedLine(result.BonesCopied)));
    if (result.BonePointsLine) memo.push_back(*result.BonePointsLine);
    SetResultMemo(memo, result);
    if (result.BonesCopied == 0) setNote(texts::NoBoneOffThePlane(japanese_));
    ShowStatus(StatusBoneMirrored(japanese_));
    documentChanged();
    View.Fit();
    Redisplay();
  });
}

void TfrmMain::mnUndoClick() { historyStep(true); }

void TfrmMain::mnRedoClick() { historyStep(false); }

void TfrmMain::historyStep(bool undo) {
  command([this, undo] {
    if (!session_.Document || !(undo ? history_.CanUndo() : history_.CanRedo())) return;
    setNote(QString());
    const QString name = FromCore(undo ? history_.UndoName() : history_.RedoName());
    SetMemo(undo ? history_.Undo(session_, memo_lines_) : history_.Redo(session_, memo_lines_));
    geometryChanged();
    ShowStatus(undo ? texts::Undone(japanese_, name) : texts::Redone(japanese_, name));
    documentChanged();
    View.Fit();
    Redisplay();
  });
}

// Another direction is another picture: it starts fitted.
void TfrmMain::selectView(int item) {
  {
    const QSignalBlocker quiet(comboDir);
    comboDir->setCurrentIndex(item);
  }
  View.Fit();
  command([this] { Redisplay(); });
}

void TfrmMain::comboDirChange() {
  View.Fit();
  command([this] { Redisplay(); });
}

void TfrmMain::chkDisplayCpidClick() {
  View.ShowCpid = chkDisplayCpid->isChecked();
  command([this] { Redisplay(); });
}

void TfrmMain::mnAboutClick() {
  frmAbout->label_info->setText(text(kProgramCaption));
  frmAbout->exec();
}

void TfrmMain::DropAcceptDropped() {
  if (DropAccept->Files().isEmpty()) return;
  if (busy_) {
    // Taken up when the running command has returned.
    drop_pending_ = true;
    return;
  }
  OpenFile(DropAccept->Files().constFirst());
}

}  // namespace zevrin
