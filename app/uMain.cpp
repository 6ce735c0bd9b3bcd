#include "app/uMain.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <new>

#include "app/DropAcc.h"
#include "app/uAbout.h"
#include "app/session/uAppConst.h"
#include "app/uFormUtil.h"
#include "app/uMatu.h"
#include "app/uMirrorBornDlg.h"
#include "app/uSettings.h"
#include "import/assimp/M_assimp.h"
#include "util/Errors.h"
#include "util/Ustrlib.h"
#include "view/qt/QtSurface.h"

namespace zevrin {
namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr long double kGridStep = 10.0L;

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

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

  frmMatu = new TfrmMatu(this);
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
  layout->addWidget(ImageSD, 1);

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(false);
  StatusText = new QLabel(StatusBar);
  StatusText->setObjectName(QStringLiteral("StatusText"));
  StatusBar->addWidget(StatusText, 1);
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
  SaveDialog->setNameFilter(text("AniMas ModelFile(seg,mdl) (*.seg *.mdl)"));

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
  int view_item = 0;
  for (QAction* action : {mnViewMae, mnViewHidari, mnViewUe}) {
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
    comboDir->addItems({pick("前", "Front"), pick("左", "Left"), pick("上", "Top")});
  }
  LabelGosa->setText(pick("X=0平面に対する誤差(&G)", "Correct Plane X=0(&G)"));
  chkDisplayCpid->setText(text("CPID表示"));
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
  RegIni.reset();
  View.ShowCpid = chkDisplayCpid->isChecked();
}

void TfrmMain::SaveSettings() {
  RegIni = std::make_unique<SettingsStore>();
  RegIni->WriteString(kMainSection, QStringLiteral("OpenDialogDir"), OpenDialogDir);
  RegIni->WriteString(kMainSection, QStringLiteral("Gosax"), edGosa->text());
  RegIni->WriteBool(kMainSection, QStringLiteral("DisplayCpid"), chkDisplayCpid->isChecked());
  RegIni->WriteBool(kMainSection, QStringLiteral("ExpandInserts"), mnExpandInserts->isChecked());
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
  ShowStatus(text(kVersionStatus));
  // The file named on the command line opens once the window stands.
  if (!start_file_.isEmpty()) {
    QMetaObject::invokeMethod(
        this, [this] { OpenFile(start_file_); }, Qt::QueuedConnection);
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  // A command holds the document until it returns.
  if (busy_) {
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
  if (!session_.Document || !picture_) return;
  // A point the picture cannot hold is the model's fault.
  WithFile(session_.CurrentFile, [&] {
    View.Redisplay(session_.Document.get(), ViewKindOfItem(comboDir->currentIndex()));
  });
  ImageSD->update();
}

void TfrmMain::ShowStatus(const QString& status) { StatusText->setText(status); }

void TfrmMain::SetMemo(const std::vector<std::string>& lines) {
  QStringList texts;
  for (const std::string& line : lines) texts.append(FromCore(line));
  Memo->setPlainText(texts.join(QLatin1Char('\n')));
}

QString TfrmMain::CurrentFile() const { return FromCore(session_.CurrentFile); }

// --- Commands ------------------------------------------------------------------------------

bool TfrmMain::command(const std::function<void()>& body) {
  if (busy_) return false;
  busy_ = true;
  bool ok = false;
  QString failure;
  try {
    body();
    ok = true;
  } catch (const ZevrinError& e) {
    failure = FromCore(e.describe(japanese_));
  } catch (const std::bad_alloc&) {
    failure = text(japanese_ ? "メモリが不足しています" : "Out of memory");
  } catch (const std::exception& e) {
    failure = QString::fromLocal8Bit(e.what());
  }
  if (!ok) {
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

bool TfrmMain::LoadDocument() {
  const std::string file = session_.CurrentFile;
  const StepResult result = session_.LoadDocument();
  switch (result.Outcome) {
    case LoadOutcome::FileMissing:
      ShowStatus(ZevrinError(ErrorKind::FileMissing, file).message(japanese_));
      return false;
    case LoadOutcome::WrongExtension:
      ShowStatus(ZevrinError(ErrorKind::WrongExtension, file).message(japanese_));
      return false;
    case LoadOutcome::Loaded:
      break;
  }
  WriteResultFiles(result);
  SetMemo(result.Memo);
  for (QAction* action : {mnSave, mnSaveAs, mnHalvejoin, mnConnectGroupedSplines, mnAttachall,
                          mnDetachall, mnMirrorBorn})
    action->setEnabled(true);
  for (QToolButton* button : {sbtnOpen, sbtnSave, sbtnSaveAs}) button->setEnabled(true);
  ShowStatus(StatusOpened(japanese_, session_.CurrentFile));
  return true;
}

bool TfrmMain::OpenFile(const QString& path) {
  // A file that did not open leaves the document with the path it came from, so that Save
  // never writes the old document over the file the user failed to open.
  const std::string previous = session_.CurrentFile;
  bool loaded = false;
  command([&] {
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
    ShowStatus(StatusSaved(japanese_, session_.SaveFile));
  });
}

void TfrmMain::sbtnSaveAsClick() {
  if (busy_ || !session_.Document) return;
  SaveDialog->selectFile(CurrentFile());
  if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty()) return;
  const QString path = QDir::toNativeSeparators(SaveDialog->selectedFiles().constFirst());
  command([this, &path] {
    session_.SaveDocument(ToCore(path));
    ShowStatus(StatusSavedAs(japanese_, session_.SaveFile));
  });
}

void TfrmMain::mnHalvejoinClick() {
  command([this] {
    if (!session_.Document) return;
    // The memo and the status first: a picture that fails to draw must not hide what the
    // edit did.
    const StepResult result = session_.Halvejoin(Tolerance());
    WriteResultFiles(result);
    SetMemo(result.Memo);
    ShowStatus(StatusHalvejoined(japanese_, session_.CurrentFile));
    Redisplay();
  });
}

void TfrmMain::mnConnectGroupedSplinesClick() {
  command([this] {
    if (!session_.Document) return;
    const StepResult result = session_.ConnectGroupedSplines();
    WriteResultFiles(result);
    SetMemo(result.Memo);
    ShowStatus(StatusConnected(japanese_, session_.CurrentFile));
    Redisplay();
  });
}

// Attach all and Detach all leave the picture and the memo as they were.
void TfrmMain::mnAttachallClick() {
  command([this] {
    if (!session_.Document) return;
    WriteResultFiles(session_.AttachAll());
    ShowStatus(StatusAttached(japanese_));
  });
}

void TfrmMain::mnDetachallClick() {
  command([this] {
    if (!session_.Document) return;
    WriteResultFiles(session_.DetachAll());
    ShowStatus(StatusDetached(japanese_));
  });
}

void TfrmMain::mnMirrorBornClick() {
  command([this] {
    if (!session_.Document) return;
    if (dlgMirrorBorn->exec() != QDialog::Accepted) return;
    // The dialog has stored its choice already when the tolerance turns out to be no number.
    session_.Shared.Mirror = dlgMirrorBorn->Settings();
    WriteResultFiles(session_.MirrorBone(Tolerance()));
    ShowStatus(StatusBoneMirrored(japanese_));
    Redisplay();
  });
}

void TfrmMain::selectView(int item) {
  {
    const QSignalBlocker quiet(comboDir);
    comboDir->setCurrentIndex(item);
  }
  command([this] { Redisplay(); });
}

void TfrmMain::comboDirChange() {
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
