// The desktop window driven as a user drives it, on Qt's offscreen platform: menus and
// buttons, dialogs, a simulated file drop, the memo, the status line, the picture, the files
// it saves and the settings it keeps, once with the interface in Japanese and once in English.
//
// Arguments: "ja" or "en" runs one language only; the rest goes to Qt Test.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DropAcc.h"
#include "app/session/Document.h"
#include "app/uAbout.h"
#include "app/uMain.h"
#include "app/uMatu.h"
#include "app/uMirrorBornDlg.h"
#include "bench/BenchGen.h"
#include "import/assimp/M_assimp.h"
#include "model/tree/AM_const.h"
#include "tests/GuiTestHome.h"
#include "view/M_scr.h"
#include "view/qt/QtSurface.h"

namespace zevrin {
namespace {

const QString kExamples = QStringLiteral(ZEVRIN_EXAMPLES);
const QString kTestData = QStringLiteral(ZEVRIN_TEST_DATA);

// Two splines of one group that meet end to start at (1, 0, 0).
const char kTwoSegmentLine[] =
    "[MODELFILE]\nProductVersion=5.0\n[MODEL]\nName=line\n"
    "Bounds=2 0 0 0 0 0 2 0 0 0 0 0 2 0 0 0 0 0 0 0 0 0 0 0\n"
    "[MESH]\nVersion=2\nSplines=2\n"
    "CPs=2\n0 0 1\n0 0 0\n0\n0\n0 0 2\n1 0 0\n0\n0\n"
    "CPs=2\n0 0 3\n1 0 0\n0\n0\n0 0 4\n2 0 0\n0\n0\n"
    "[ENDMESH]\n[GROUP]\nName=All\nCount=4\n1\n2\n3\n4\n[ENDGROUP]\n[ENDMODEL]\n[ENDMODELFILE]\n";

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether the file at `path` is exactly the golden file; a difference keeps the file beside
// the golden one as GOLDEN.actual.
bool matchesGolden(const QString& path, const QString& golden) {
  if (readAll(path) == readAll(golden)) return true;
  QFile::remove(golden + QStringLiteral(".actual"));
  QFile::copy(path, golden + QStringLiteral(".actual"));
  return false;
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

// Acts on the next modal dialog of type T as soon as it is shown. A command that opens a
// dialog runs it in a nested event loop, so the watcher polls from the event loop.
class ModalWatcher : public QObject {
  Q_OBJECT
 public:
  ModalWatcher(QObject* owner, std::function<bool()> attempt)
      : QObject(owner), attempt_(std::move(attempt)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (attempt_()) {
        timer_.stop();
        fired = true;
      }
    });
    timer_.start(5);
  }
  bool fired = false;

 private:
  std::function<bool()> attempt_;
  QTimer timer_;
};

template <class T>
QPointer<ModalWatcher> whenShown(QObject* owner, std::function<void(T&)> act) {
  return new ModalWatcher(owner, [act] {
    auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return false;
    act(*dialog);
    return true;
  });
}

// Acts on the next file dialog once it has listed its folder: the listing arrives from
// another thread and selects the preset file when it comes.
QPointer<ModalWatcher> whenFileDialogShown(QObject* owner, std::function<void(QFileDialog&)> act) {
  return new ModalWatcher(owner, [act] {
    auto* dialog = dynamic_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return false;
    auto* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
    if (list && list->model()->rowCount(list->rootIndex()) == 0) return false;
    act(*dialog);
    return true;
  });
}

// Types `path` as the file name and confirms, as a user does.
void typeAndAccept(QFileDialog& dialog, const QString& path) {
  if (auto* list = dialog.findChild<QAbstractItemView*>(QStringLiteral("listView")))
    list->clearSelection();
  if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    name->setText(path);
  } else {
    dialog.selectFile(path);
  }
  static_cast<QDialog&>(dialog).accept();
}

// The picture of FILE as the render command and the window draw it, at `size`.
QImage expectedPicture(const QString& file, ViewKind direction, QSize size) {
  DocumentSession session;
  session.CurrentFile = file.toStdString();
  if (session.LoadDocument().Outcome != LoadOutcome::Loaded) return {};
  QtSurface surface(size.width(), size.height());
  Mscreen view;
  view.SetCanvas(&surface, size.width(), size.height());
  view.SetExtent(-100, 100, 100, -100);
  view.Redisplay(session.Document.get(), direction);
  return surface.Image().copy();
}

int countPixels(const QImage& image, QRgb color) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == color ? 1 : 0;
  return n;
}

// Counts how often a window is shown.
class ShowCounter : public QObject {
 public:
  explicit ShowCounter(QWidget* w) : QObject(w) { w->installEventFilter(this); }
  int shows = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Show) ++shows;
    return false;
  }
};

QSettings store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("TALQ"),
                   QStringLiteral("Zevrin100"));
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT
 public:
  explicit WindowTest(bool japanese) : japanese_(japanese) {}

 private slots:
  void init();
  void cleanup();

  void startsWithEverythingButOpenDisabled();
  void captionsHintsAndComboItemsInTheLanguage();
  void openByPathShowsCountsAndStatus_data();
  void openByPathShowsCountsAndStatus();
  void openDialogOpensAndRemembersTheFolder();
  void polygonFormatsAndDxfInsertsFromTheFileMenu();
  void missingFileAndWrongExtensionKeepTheDocument();
  void droppingThreeFilesOpensOnlyTheFirstAfterTheDrop();
  void editsShowMemoStatusAndProgress_data();
  void editsShowMemoStatusAndProgress();
  void mirrorBoneOkStoresTheRuleAndNamesTheCopies();
  void mirrorBoneCancelChangesNothing();
  void saveKeepsABackupAndWritesTheEdit();
  void saveAsFollowsTheExtensionRules_data();
  void saveAsFollowsTheExtensionRules();
  void tagFilesSaveBackAndAnyModelSavesAsOne();
  void viewItemsAndComboShowTheDirection();
  void idCheckBoxLabelsThePoints();
  void aboutBoxShowsTheVersion();
  void settingsSurviveARestart();
  void settingsNamesIgnoreCaseAndOddValuesCountAsAbsent();
  void errorsAppearInABoxAndTheWindowGoesOn_data();
  void errorsAppearInABoxAndTheWindowGoesOn();
  void aReaderPastItsTimeLimitEndsInABox();

  void wheelDragKeysZoomAndShiftAndHomeGivesTheFittedPictureBack();
  void undoAndRedoTakeBackEveryEditByteForByte();
  void anUndoneHalvejoinLeavesNoTraceInMirrorBone();
  void aChangedDocumentAsksBeforeCloseOpenAndDrop();
  void halvejoinOfAWholeModelAsksFirst();
  void whatIsDrawnIsWhatWillBeSaved();
  void mirrorBoneWithoutABoneOffThePlaneSaysSo();
  void recentFilesAndTheWindowsSizeSurviveARestart();
  void cancelStopsALoadAndAnEditLeavingTheDocumentAsItWas();
  void labelsOfAMillionPointsAreOnlyThoseThatFit();
  void anUndoBudgetTooSmallForAStepSaysSo();
  void exportWritesThePatchesInTheChosenFormat();

 private:
  QString tr2(const char* japanese, const char* english) const {
    return QString::fromUtf8(japanese_ ? japanese : english);
  }
  // The memo's line of what the next save leaves out.
  QString leftOut(int bones, int groups, int sections) const {
    return tr2("保存で省かれるもの: ボーン=%1 グループ=%2 その他のセクション=%3",
               "Left out of the next save: bones=%1 groups=%2 other sections=%3")
        .arg(bones)
        .arg(groups)
        .arg(sections);
  }
  std::unique_ptr<TfrmMain> newWindow(const QString& start_file = QString()) {
    auto window = std::make_unique<TfrmMain>(start_file);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
    return window;
  }
  QString status(const TfrmMain& w) const { return w.StatusText->text(); }
  // A copy of `source` in the scratch folder under `name`.
  QString copy(const QString& source, const QString& name) {
    const QString path = dir_->filePath(name);
    QFile::remove(path);
    QFile::copy(source, path);
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }
  QString halfBox() { return copy(kExamples + "/half_box.mdl", QStringLiteral("half_box.mdl")); }
  // Shortcuts reach only the active window.
  static bool activate(TfrmMain& w) {
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
  }
  // The bytes the Save command writes for the document as it stands.
  QByteArray savedBytes(TfrmMain& w) {
    w.mnSave->trigger();
    return readAll(w.CurrentFile());
  }
  // A generated model of about a million points, made once per run: a whole half model with
  // attachments, hooks, groups and bones, in the layout a save gives back byte for byte.
  static QString bigModel() {
    static QTemporaryDir dir;
    static const QString path = [] {
      const QString p = dir.filePath(QStringLiteral("big.mdl"));
      bench::WriteModelFile(p.toStdString(), 1000000);
      return p;
    }();
    return path;
  }

  bool japanese_;
  std::unique_ptr<QTemporaryDir> dir_;
};

void WindowTest::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  QSettings s = store();
  s.clear();
  s.sync();
}

void WindowTest::cleanup() {
  for (ModalWatcher* w : findChildren<ModalWatcher*>()) delete w;
  dir_.reset();
}

void WindowTest::startsWithEverythingButOpenDisabled() {
  auto w = newWindow();
  QVERIFY(w);
  QCOMPARE(w->size(), QSize(530, 417));
  QCOMPARE(w->windowTitle(), QStringLiteral("Zevrin Ver0.56"));
  QCOMPARE(status(*w), QStringLiteral("Ver0.56"));
  QVERIFY(w->mnOpen->isEnabled());
  QCOMPARE(w->mnOpen->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  QCOMPARE(w->mnSave->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
  const std::vector<QAction*> items = {
      w->mnSave,      w->mnSaveAs,    w->mnHalvejoin, w->mnConnectGroupedSplines,
      w->mnAttachall, w->mnDetachall, w->mnMirrorBorn};
  for (QAction* a : items) QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
  for (QToolButton* b : {w->sbtnSave, w->sbtnSaveAs})
    QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
  // Disabled commands do nothing even when reached by their shortcut.
  QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier);
  QCOMPARE(status(*w), QStringLiteral("Ver0.56"));
  QVERIFY(!w->mnUndo->isEnabled());
  QVERIFY(!w->mnRedo->isEnabled());
  QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(status(*w), QStringLiteral("Ver0.56"));
  // The Open button works from the start: a new user's first click opens the dialog.
  QVERIFY(w->sbtnOpen->isEnabled());
  auto dialog = whenShown<QFileDialog>(this, [](QFileDialog& d) { d.reject(); });
  w->sbtnOpen->click();
  QVERIFY(dialog && dialog->fired);

  QVERIFY(w->OpenFile(halfBox()));
  for (QAction* a : items) QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
  for (QToolButton* b : {w->sbtnOpen, w->sbtnSave, w->sbtnSaveAs})
    QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
}

void WindowTest::captionsHintsAndComboItemsInTheLanguage() {
  auto w = newWindow();
  QVERIFY(w);
  QCOMPARE(w->Japanese(), japanese_);
  QCOMPARE(w->mnFile->title(), tr2("ファイル(&F)", "&File"));
  QCOMPARE(w->mnOpen->text(), tr2("開く(&O)", "&Open.."));
  QCOMPARE(w->mnSave->text(), tr2("上書き保存(&S)", "&Save"));
  QCOMPARE(w->mnSaveAs->text(), tr2("名前を付けて保存(&A)", "&Save As.."));
  QCOMPARE(w->mnExit->text(), tr2("終了(&X)", "E&xit"));
  QCOMPARE(w->mnEdit->title(), QStringLiteral("編集(&E)"));
  QCOMPARE(w->mnHalvejoin->text(), QStringLiteral("&Halvejoin"));
  QCOMPARE(w->mnConnectGroupedSplines->text(), QStringLiteral("&Connect grouped splines"));
  QCOMPARE(w->mnAttachall->text(), QStringLiteral("&Attach all"));
  QCOMPARE(w->mnDetachall->text(), QStringLiteral("&Detach all"));
  QCOMPARE(w->mnMirrorBorn->text(), QStringLiteral("&Mirror Bone"));
  QCOMPARE(w->mnView->title(), tr2("表示(&V)", "&View"));
  QCOMPARE(w->mnViewMae->text(), tr2("前(&F)", "&Front"));
  QCOMPARE(w->mnViewHidari->text(), tr2("左(&L)", "&Left"));
  QCOMPARE(w->mnViewUe->text(), tr2("上(&T)", "&Top"));
  QCOMPARE(w->mnViewShaded->text(), tr2("陰影(&S)", "&Shaded"));
  QCOMPARE(w->mnHelp->title(), tr2("ヘルプ(&H)", "&Help"));
  QCOMPARE(w->mnAbout->text(), tr2("Zevrinについて(&A)", "&About.."));
  QCOMPARE(w->sbtnOpen->toolTip(), tr2("ファイルを開く", "Open"));
  QCOMPARE(w->sbtnSave->toolTip(), tr2("上書き保存", "Save"));
  QCOMPARE(w->sbtnSaveAs->toolTip(), tr2("名前を付けて保存", "Save As"));
  QCOMPARE(w->comboDir->count(), 4);
  QCOMPARE(w->comboDir->itemText(0), tr2("前", "Front"));
  QCOMPARE(w->comboDir->itemText(1), tr2("左", "Left"));
  QCOMPARE(w->comboDir->itemText(2), tr2("上", "Top"));
  QCOMPARE(w->comboDir->itemText(3), tr2("陰影", "Shaded"));
  QCOMPARE(w->comboDir->currentIndex(), 0);
  QCOMPARE(w->LabelGosa->text(), tr2("X=0平面に対する誤差(&G)", "Correct Plane X=0(&G)"));
  QCOMPARE(w->LabelGosa->buddy(), w->edGosa);
  QCOMPARE(w->chkDisplayCpid->text(), QStringLiteral("CPID表示"));

  // The other windows speak Japanese in both languages.
  QCOMPARE(w->frmMatu->windowTitle(), QStringLiteral("処理中"));
  QVERIFY(w->frmMatu->windowFlags() & Qt::WindowStaysOnTopHint);
  QVERIFY(!w->frmMatu->isVisible());
  QCOMPARE(w->frmAbout->windowTitle(), QStringLiteral("Halvejoin"));
  QCOMPARE(w->dlgMirrorBorn->windowTitle(), QStringLiteral("Mirror Boneオプション"));
  QCOMPARE(w->dlgMirrorBorn->GroupBox1->title(), QStringLiteral("ボーン名変更規則"));
  QCOMPARE(w->dlgMirrorBorn->radioR2L->text(), QStringLiteral("\"AAA*\"を\"\"BBB*\"に変更"));
  QCOMPARE(w->dlgMirrorBorn->radioR2Le->text(), QStringLiteral("\"*AAA\"を\"\"*BBB\"に変更"));
  QCOMPARE(w->dlgMirrorBorn->CancelBtn->text(), QStringLiteral("ｷｬﾝｾﾙ"));
}

void WindowTest::openByPathShowsCountsAndStatus_data() {
  QTest::addColumn<QString>("source");
  QTest::addColumn<QString>("memo");
  // clang-format off
  QTest::newRow("model") << kExamples + "/half_box.mdl" << "Number of cp=12\nNumber of spline=4";
  QTest::newRow("dxf") << kTestData + "/gdal_3dface.dxf" << "Number of cp=10\nNumber of spline=5";
  QTest::newRow("rok") << kTestData + "/pyramid_mixed_lines.rok" << "Number of cp=16\nNumber of spline=8";
  QTest::newRow("obj") << kTestData + "/pentagon.obj" << "Number of cp=14\nNumber of spline=7";
  // clang-format on
}

void WindowTest::openByPathShowsCountsAndStatus() {
  QFETCH(QString, source);
  QFETCH(QString, memo);
  const QString path = copy(source, QFileInfo(source).fileName());
  // The file named on the command line opens once the window stands.
  auto w = newWindow(path);
  QVERIFY(w);
  QTRY_COMPARE(w->Memo->toPlainText(), memo);
  QCOMPARE(status(*w), japanese_ ? path + " を読み込みました。" : "Opend " + path);
  QCOMPARE(w->CurrentFile(), path);
  QVERIFY(!w->frmMatu->isVisible());
}

void WindowTest::openDialogOpensAndRemembersTheFolder() {
  const QString path = halfBox();
  {
    auto w = newWindow();
    QVERIFY(w);
    QString filter;
    auto watcher = whenFileDialogShown(this, [&](QFileDialog& d) {
      filter = d.nameFilters().constFirst();
      typeAndAccept(d, path);
    });
    w->mnOpen->trigger();
    QVERIFY(watcher && watcher->fired);
    QVERIFY2(filter.startsWith("Zevrin Inport(MDL,DXF) ("), qPrintable(filter));
    QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=12\nNumber of spline=4"));
    QCOMPARE(status(*w), japanese_ ? path + " を読み込みました。" : "Opend " + path);

    // Cancelling the dialog changes nothing.
    auto cancel = whenShown<QFileDialog>(this, [](QFileDialog& d) { d.reject(); });
    w->sbtnOpen->click();
    QVERIFY(cancel && cancel->fired);
    QCOMPARE(w->CurrentFile(), path);
  }
  // The next run's dialog starts in that folder.
  auto w = newWindow();
  QVERIFY(w);
  QString shown_dir;
  auto watcher = whenShown<QFileDialog>(this, [&](QFileDialog& d) {
    shown_dir = d.directory().absolutePath();
    d.reject();
  });
  w->mnOpen->trigger();
  QVERIFY(watcher && watcher->fired);
  QCOMPARE(shown_dir, QDir(dir_->path()).absolutePath());
}

void WindowTest::polygonFormatsAndDxfInsertsFromTheFileMenu() {
  const QString inserted = dir_->filePath("inserted.dxf");
  writeAll(inserted,
           "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nTri\n10\n0\n20\n0\n30\n0\n0\n3DFACE\n8\n0\n"
           "10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n0\n22\n1\n32\n0\n0\nENDBLK\n0\n"
           "ENDSEC\n0\nSECTION\n2\nENTITIES\n0\nINSERT\n8\nplaced\n2\nTri\n10\n5\n20\n0\n30\n"
           "0\n0\nENDSEC\n0\nEOF\n");
  {
    auto w = newWindow();
    QVERIFY(w);
    QCOMPARE(w->mnExpandInserts->text(), tr2("DXFの挿入ブロックを展開(&I)", "Expand DXF &Inserts"));
    QVERIFY(w->mnExpandInserts->isCheckable());
    QVERIFY(!w->mnExpandInserts->isChecked());
    QStringList filters;
    auto watcher = whenFileDialogShown(this, [&](QFileDialog& d) {
      filters = d.nameFilters();
      typeAndAccept(d, inserted);
    });
    w->mnOpen->trigger();
    QVERIFY(watcher && watcher->fired);
    // The first filter takes every kind; Animation:Master's own extension stays a model.
    for (const char* pattern : {"*.mdl", "*.dxf", "*.rok", "*.obj", "*.stl", "*.ply", "*.3ds"})
      QVERIFY2(filters.constFirst().contains(QString::fromLatin1(pattern)), pattern);
    QCOMPARE(filters.constFirst().count(QStringLiteral("*.mdl")), 1);
    QVERIFY(filters.join('|').contains(QStringLiteral("Polygon(OBJ,STL,PLY,...) (*.")));
    // Unchecked, the inserted block brings nothing.
    QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=0\nNumber of spline=0"));
    w->mnExpandInserts->trigger();
    QVERIFY(w->OpenFile(inserted));
    QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=6\nNumber of spline=3"));
  }
  // The choice is kept for the next run.
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->mnExpandInserts->isChecked());
  QVERIFY(w->OpenFile(inserted));
  QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=6\nNumber of spline=3"));
}

void WindowTest::missingFileAndWrongExtensionKeepTheDocument() {
  auto w = newWindow();
  QVERIFY(w);
  const QString path = halfBox();
  QVERIFY(w->OpenFile(path));
  const QImage picture = w->ImageSD->Picture();
  const ShowCounter progress(w->frmMatu);

  // A missing file is named in a message box; the status line says what it always said.
  QString box_text;
  auto box = whenShown<QMessageBox>(this, [&](QMessageBox& b) {
    box_text = b.text();
    b.accept();
  });
  QVERIFY(!w->OpenFile(dir_->filePath("missing.mdl")));
  QVERIFY(box && box->fired);
  QCOMPARE(box_text, japanese_ ? "ファイル " + dir_->filePath("missing.mdl") + " が存在しません。"
                               : "The file " + dir_->filePath("missing.mdl") + " does not exist.");
  QCOMPARE(status(*w), tr2("Error:ファイルが存在しません！！", "Error:File does not exist!!"));
  const QString text_file = dir_->filePath("model.mdl.txt");
  writeAll(text_file, "[MODELFILE]\n[ENDMODELFILE]\n");
  QVERIFY(!w->OpenFile(text_file));
  QCOMPARE(status(*w), tr2("Error:ファイル名の拡張子が違います！！", "Error:filename Extension!!"));

  QCOMPARE(progress.shows, 0);
  QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=12\nNumber of spline=4"));
  QCOMPARE(w->ImageSD->Picture(), picture);
  // Save still writes the document that stayed open to the file it came from, and never
  // onto the file that failed to open.
  QCOMPARE(w->CurrentFile(), path);
  writeAll(path, "changed on disk\n");
  w->mnSave->trigger();
  QVERIFY(readAll(path).startsWith("[MODELFILE]\r\n"));
  QCOMPARE(readAll(text_file), QByteArray("[MODELFILE]\n[ENDMODELFILE]\n"));
  QVERIFY(!QFile::exists(dir_->filePath("missing.mdl")));
}

void WindowTest::droppingThreeFilesOpensOnlyTheFirstAfterTheDrop() {
  auto w = newWindow();
  QVERIFY(w);
  const QString a = halfBox();
  const QString b = dir_->filePath("b.mdl");
  writeAll(b, kTwoSegmentLine);
  const QString c = copy(kTestData + "/gdal_3dface.dxf", "c.dxf");

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(c)});
  const QPoint at = w->ImageSD->geometry().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &drop);
  QVERIFY(drop.isAccepted());
  // Nothing is opened inside the drop event itself.
  QCOMPARE(status(*w), QStringLiteral("Ver0.56"));

  QTRY_COMPARE(status(*w), japanese_ ? a + " を読み込みました。" : "Opend " + a);
  QCOMPARE(w->DropAccept->Files(), QStringList({a, b, c}));
  QCOMPARE(w->CurrentFile(), a);
  QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=12\nNumber of spline=4"));

  // Something that is not a local file is refused at the door.
  QMimeData text;
  text.setText(QStringLiteral("hello"));
  QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &refused);
  QVERIFY(!refused.isAccepted());
}

void WindowTest::editsShowMemoStatusAndProgress_data() {
  QTest::addColumn<QString>("model");  // "box" or "line"
  QTest::addColumn<QString>("item");
  QTest::addColumn<QString>("memo");  // empty: the memo of the load stays
  QTest::addColumn<QString>("status_ja");
  QTest::addColumn<QString>("status_en");
  QTest::addColumn<bool>("redrawn");   // the picture changes
  QTest::addColumn<QString>("saved");  // a line the saved file holds afterwards
  // clang-format off
  QTest::newRow("halvejoin") << "box" << "mnHalvejoin"
      << "Number of cp=12+8->20\nNumber of spline=4+2->6\n" + leftOut(2, 1, 1)
      << "%1 をHalvejoinしました。" << "Halvejoined %1" << true << "Splines=6";
  QTest::newRow("connect") << "line" << "mnConnectGroupedSplines"
      << "Number of cp=4->3\nNumber of spline=2->1"
      << "%1 グループ内のスプラインを接続しました。" << "Connected!! %1" << false << "Splines=1";
  QTest::newRow("connect nothing") << "box" << "mnConnectGroupedSplines"
      << "Number of cp=12->12\nNumber of spline=4->4"
      << "%1 グループ内のスプラインを接続しました。" << "Connected!! %1" << false << "Splines=4";
  QTest::newRow("attach all") << "line" << "mnAttachall"
      << "Number of cp=4\nNumber of spline=2\nNumber of attached cp=0->1"
      << "座標が同じCPををAttachしました。" << "Attached" << false << "0 1 3";
  QTest::newRow("detach all") << "box" << "mnDetachall"
      << "Number of cp=12\nNumber of spline=4\nNumber of attached cp=4->0"
      << "AttachしているCPをDetachしました。" << "Detached" << false << "0 0 9";
  // clang-format on
}

void WindowTest::editsShowMemoStatusAndProgress() {
  QFETCH(QString, model);
  QFETCH(QString, item);
  QFETCH(QString, memo);
  QFETCH(QString, status_ja);
  QFETCH(QString, status_en);
  QFETCH(bool, redrawn);
  QFETCH(QString, saved);

  QString path = halfBox();
  if (model == "line") {
    path = dir_->filePath("line.mdl");
    writeAll(path, kTwoSegmentLine);
  }
  auto w = newWindow();
  QVERIFY(w);
  w->edGosa->setText(QStringLiteral("0.001"));
  QVERIFY(w->OpenFile(path));
  const QString loaded_memo = w->Memo->toPlainText();
  const QImage before = w->ImageSD->Picture();
  const ShowCounter progress(w->frmMatu);

  w->findChild<QAction*>(item)->trigger();
  QCOMPARE(w->Memo->toPlainText(), memo.isEmpty() ? loaded_memo : memo);
  const QString expected = japanese_ ? status_ja : status_en;
  QCOMPARE(status(*w), expected.contains("%1") ? expected.arg(path) : expected);
  QCOMPARE(progress.shows, 1);
  QVERIFY(!w->frmMatu->isVisible());
  QCOMPARE(w->ImageSD->Picture() != before, redrawn);

  w->mnSave->trigger();
  QVERIFY2(readAll(path).contains(("\r\n" + saved + "\r\n").toUtf8()), qPrintable(saved));
}

void WindowTest::mirrorBoneOkStoresTheRuleAndNamesTheCopies() {
  const QString path = halfBox();
  {
    auto w = newWindow();
    QVERIFY(w);
    QVERIFY(w->OpenFile(path));
    bool shown_defaults = false;
    auto watcher = whenShown<TdlgMirrorBorn>(this, [&](TdlgMirrorBorn& d) {
      // First run: the append rule with its default words.
      shown_defaults = d.radioAddString->isChecked() && d.edAddString->text() == "mb" &&
                       d.edRepString->text() == "left" && d.edMBString->text() == "right";
      d.radioR2L->setChecked(true);
      d.edMBString->setText(QStringLiteral("right"));
      d.OKBtn->click();
    });
    w->mnMirrorBorn->trigger();
    QVERIFY(watcher && watcher->fired);
    QVERIFY(shown_defaults);
    QCOMPARE(status(*w), tr2("Bornを反転コピーしました。", "Born Mirrored"));
    QCOMPARE(w->Memo->toPlainText(),
             QStringLiteral("Number of cp=12\nNumber of spline=4\nNumber of bones copied=1"));
    w->mnSave->trigger();
    const QByteArray saved = readAll(path);
    QVERIFY(saved.contains("\r\nName=rightArm\r\nPivot=-2 8 5\r\nEnd=-9 8 5\r\n"));
    QCOMPARE(saved.count("[SEGMENT]"), 3);  // the spine lies on the plane

    QSettings s = store();
    QCOMPARE(s.value("Mirror_Born/Pattern").toString(), QStringLiteral("1"));
    QCOMPARE(s.value("Mirror_Born/RepString").toString(), QStringLiteral("left"));
    QCOMPARE(s.value("Mirror_Born/MBString").toString(), QStringLiteral("right"));
    QCOMPARE(s.value("Mirror_Born/AddString").toString(), QStringLiteral("mb"));
  }
  // The next run's dialog shows the stored choice.
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  bool shown_stored = false;
  auto watcher = whenShown<TdlgMirrorBorn>(this, [&](TdlgMirrorBorn& d) {
    shown_stored = d.radioR2L->isChecked() && !d.radioAddString->isChecked();
    d.CancelBtn->click();
  });
  w->mnMirrorBorn->trigger();
  QVERIFY(watcher && watcher->fired);
  QVERIFY(shown_stored);
}

void WindowTest::mirrorBoneCancelChangesNothing() {
  const QString path = halfBox();
  const QByteArray original = readAll(path);
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  const QString opened = status(*w);
  const ShowCounter progress(w->frmMatu);
  auto watcher = whenShown<TdlgMirrorBorn>(this, [](TdlgMirrorBorn& d) {
    d.radioR2Le->setChecked(true);
    d.edAddString->setText(QStringLiteral("zz"));
    d.CancelBtn->click();
  });
  w->mnMirrorBorn->trigger();
  QVERIFY(watcher && watcher->fired);
  QCOMPARE(status(*w), opened);
  QCOMPARE(progress.shows, 0);
  QVERIFY(!store().childGroups().contains(QStringLiteral("Mirror_Born")));
  w->mnSave->trigger();
  QCOMPARE(readAll(path).count("[SEGMENT]"), 2);
  QCOMPARE(readAll(path + ".bak"), original);
}

void WindowTest::saveKeepsABackupAndWritesTheEdit() {
  const QString path = copy(kTestData + "/halvejoin_in.mdl", "a.mdl");
  const QByteArray original = readAll(path);
  auto w = newWindow();
  QVERIFY(w);
  w->edGosa->setText(QStringLiteral("0.01"));
  QVERIFY(w->OpenFile(path));
  w->mnHalvejoin->trigger();
  QCOMPARE(w->Memo->toPlainText(),
           "Number of cp=19+11->30\nNumber of spline=6+1->7\n" + leftOut(1, 1, 1));
  w->sbtnSave->click();
  QCOMPARE(status(*w), japanese_ ? path + "へ上書き保存しました" : "Saved as " + path);
  QVERIFY2(matchesGolden(path, kTestData + "/halvejoin_expected.mdl"),
           "differs from halvejoin_expected.mdl; the output is kept beside it as .actual");
  QCOMPARE(readAll(path + ".bak"), original);
}

void WindowTest::saveAsFollowsTheExtensionRules_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("written");
  // clang-format off
  QTest::newRow("no extension") << "out" << "out.mdl";
  QTest::newRow("segment") << "out.seg" << "out.seg";
  QTest::newRow("polygon") << "out.rok" << "out.mdl";
  QTest::newRow("model") << "out.MDL" << "out.MDL";
  // clang-format on
}

void WindowTest::saveAsFollowsTheExtensionRules() {
  QFETCH(QString, typed);
  QFETCH(QString, written);
  const QString path = halfBox();
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  QString preset;
  bool asks_before_overwriting = true;
  auto watcher = whenFileDialogShown(this, [&](QFileDialog& d) {
    preset = d.selectedFiles().value(0);
    asks_before_overwriting = !d.testOption(QFileDialog::DontConfirmOverwrite);
    typeAndAccept(d, dir_->filePath(typed));
  });
  w->sbtnSaveAs->click();
  QVERIFY(watcher && watcher->fired);
  QCOMPARE(preset, path);
  QVERIFY(!asks_before_overwriting);
  const QString out = dir_->filePath(written);
  QCOMPARE(status(*w), japanese_ ? out + "へ保存しました" : "Saved " + out);
  QVERIFY(readAll(out).startsWith("[MODELFILE]\r\nProductVersion=5.0\r\n"));
  QVERIFY(!QFile::exists(path + ".bak"));
  QVERIFY(!QFile::exists(dir_->filePath(typed)) || typed == written);

  // Cancel writes nothing and keeps the status.
  const QString before = status(*w);
  auto cancel = whenShown<QFileDialog>(this, [](QFileDialog& d) { d.reject(); });
  w->mnSaveAs->trigger();
  QVERIFY(cancel && cancel->fired);
  QCOMPARE(status(*w), before);
}

void WindowTest::tagFilesSaveBackAndAnyModelSavesAsOne() {
  auto w = newWindow();
  QVERIFY(w);
  // Every shipped tag file: opened and saved as it is, the same bytes.
  const QDir tags(kTestData + "/tag");
  const QStringList names = tags.entryList({QStringLiteral("*.mdl")}, QDir::Files);
  QCOMPARE(names.size(), 17);
  for (const QString& name : names) {
    const QString path = copy(tags.filePath(name), name);
    const QByteArray original = readAll(path);
    QVERIFY2(w->OpenFile(path), qPrintable(name));
    QCOMPARE(savedBytes(*w), original);
  }
  // The edits run on a tag file (a whole model: Halvejoin asks first), and Undo brings back
  // the file's bytes one edit at a time.
  w->edGosa->setText(QStringLiteral("0.05"));
  QList<QByteArray> steps{readAll(w->CurrentFile())};
  for (QAction* edit :
       {w->mnHalvejoin, w->mnConnectGroupedSplines, w->mnAttachall, w->mnDetachall}) {
    auto yes =
        whenShown<QMessageBox>(this, [](QMessageBox& b) { b.button(QMessageBox::Yes)->click(); });
    edit->trigger();
    steps.append(savedBytes(*w));
    delete yes;
  }
  QVERIFY(steps[1] != steps[0]);
  QVERIFY(steps[1].startsWith("<MODELFILE>\r\n"));
  for (int i = static_cast<int>(steps.size()) - 1; i > 0; --i) {
    w->mnUndo->trigger();
    QCOMPARE(savedBytes(*w), steps[i - 1]);
  }
  // Mirror Bone asks for its rule; the memo then tells what the copies' point lists were given.
  const QString thom = copy(tags.filePath(QStringLiteral("Thom2.mdl")), QStringLiteral("thom.mdl"));
  const QByteArray thom_bytes = readAll(thom);
  QVERIFY(w->OpenFile(thom));
  auto rule = whenShown<TdlgMirrorBorn>(this, [](TdlgMirrorBorn& d) { d.OKBtn->click(); });
  w->mnMirrorBorn->trigger();
  QVERIFY(rule && rule->fired);
  const QStringList memo = w->Memo->toPlainText().split('\n');
  QCOMPARE(memo.size(), 4);
  QVERIFY2(memo[2].startsWith(QStringLiteral("Number of bones copied=")), qPrintable(memo[2]));
  QVERIFY2(QRegularExpression(
               QStringLiteral("^Number of cp given to copied bones=\\d+ \\(left out=\\d+\\)$"))
               .match(memo[3])
               .hasMatch(),
           qPrintable(memo[3]));
  QVERIFY(savedBytes(*w) != thom_bytes);
  w->mnUndo->trigger();
  QCOMPARE(savedBytes(*w), thom_bytes);
  // The Save As dialog of a tag file offers the tag type alone.
  QStringList offered;
  auto only_tag = whenFileDialogShown(this, [&](QFileDialog& d) {
    offered = d.nameFilters();
    d.reject();
  });
  w->mnSaveAs->trigger();
  QVERIFY(only_tag && only_tag->fired);
  QCOMPARE(offered.size(), 1);

  // A bracketed model saved with the tag type is a tag file, and Save goes on in that format.
  QVERIFY(w->OpenFile(halfBox()));
  const QString out = dir_->filePath(QStringLiteral("box_tag.mdl"));
  auto as_tag = whenFileDialogShown(this, [&](QFileDialog& d) {
    offered = d.nameFilters();
    d.selectNameFilter(offered.value(1));
    typeAndAccept(d, out);
  });
  w->sbtnSaveAs->click();
  QVERIFY(as_tag && as_tag->fired);
  QCOMPARE(offered.size(), 2);
  QVERIFY(readAll(out).startsWith("<MODELFILE>\r\n"));
  QVERIFY(w->OpenFile(out));
  QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=12\nNumber of spline=4"));
}

void WindowTest::viewItemsAndComboShowTheDirection() {
  const QString path = halfBox();
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  const QSize size = w->ImageSD->size();
  QCOMPARE(w->ImageSD->Picture(), expectedPicture(path, ViewKind::Front, size));

  w->mnViewHidari->trigger();
  QCOMPARE(w->comboDir->currentIndex(), 1);
  QCOMPARE(w->ImageSD->Picture(), expectedPicture(path, ViewKind::Left, size));
  w->comboDir->setCurrentIndex(2);
  QCOMPARE(w->ImageSD->Picture(), expectedPicture(path, ViewKind::Top, size));
  w->mnViewUe->trigger();
  QCOMPARE(w->comboDir->currentIndex(), 2);
  w->mnViewMae->trigger();
  QCOMPARE(w->comboDir->currentIndex(), 0);
  QCOMPARE(w->ImageSD->Picture(), expectedPicture(path, ViewKind::Front, size));

  // A bigger window fits the model to the bigger picture.
  w->resize(700, 600);
  QTRY_VERIFY(w->ImageSD->size() != size);
  QCOMPARE(w->ImageSD->Picture().size(), w->ImageSD->size());
  QCOMPARE(w->ImageSD->Picture(), expectedPicture(path, ViewKind::Front, w->ImageSD->size()));
}

void WindowTest::idCheckBoxLabelsThePoints() {
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(halfBox()));
  const QRgb label = qRgb(0, 128, 0);
  QCOMPARE(countPixels(w->ImageSD->Picture(), label), 0);
  w->chkDisplayCpid->click();
  QVERIFY(countPixels(w->ImageSD->Picture(), label) > 0);
  w->chkDisplayCpid->click();
  QCOMPARE(countPixels(w->ImageSD->Picture(), label), 0);
}

void WindowTest::aboutBoxShowsTheVersion() {
  auto w = newWindow();
  QVERIFY(w);
  QString shown;
  auto watcher = whenShown<TfrmAbout>(this, [&](TfrmAbout& d) {
    shown = d.label_info->text();
    d.OKBtn->click();
  });
  w->mnAbout->trigger();
  QVERIFY(watcher && watcher->fired);
  QCOMPARE(shown, QStringLiteral("Zevrin Ver0.56"));
  QVERIFY(!w->frmAbout->isVisible());
}

void WindowTest::settingsSurviveARestart() {
  {
    auto w = newWindow();
    QVERIFY(w);
    // First run: the defaults.
    QCOMPARE(w->edGosa->text(), QStringLiteral("0.4"));
    QVERIFY(!w->chkDisplayCpid->isChecked());
    // Stored as typed, even when it is no number.
    w->edGosa->setText(QStringLiteral("abc"));
    w->chkDisplayCpid->click();
  }
  QSettings s = store();
  QCOMPARE(s.value("Main/Gosax").toString(), QStringLiteral("abc"));
  QCOMPARE(s.value("Main/DisplayCpid").toString(), QStringLiteral("1"));

  auto w = newWindow();
  QVERIFY(w);
  QCOMPARE(w->edGosa->text(), QStringLiteral("abc"));
  QVERIFY(w->chkDisplayCpid->isChecked());
  QVERIFY(w->ShowsCpid());
}

void WindowTest::settingsNamesIgnoreCaseAndOddValuesCountAsAbsent() {
  {
    QSettings s = store();
    s.setValue("MAIN/GOSAX", "0.25");     // any case of section and name is found
    s.setValue("MAIN/displaycpid", "2");  // any number but 0 is on
    s.setValue("Mirror_Born/Pattern", "abc");
    s.setValue("Mirror_Born/AddString", QStringList({"a", "b"}));
  }
  {
    auto w = newWindow();
    QVERIFY(w);
    QCOMPARE(w->edGosa->text(), QStringLiteral("0.25"));
    QVERIFY(w->chkDisplayCpid->isChecked());
    QVERIFY(w->OpenFile(halfBox()));
    bool defaults = false;
    auto watcher = whenShown<TdlgMirrorBorn>(this, [&](TdlgMirrorBorn& d) {
      defaults = d.radioAddString->isChecked() && d.edAddString->text() == "mb";
      d.CancelBtn->click();
    });
    w->mnMirrorBorn->trigger();
    QVERIFY(watcher && watcher->fired);
    QVERIFY(defaults);
    w->edGosa->setText(QStringLiteral("0.5"));
  }
  // One value remains for the name, under the name written.
  QSettings s = store();
  QCOMPARE(s.childGroups().filter("main", Qt::CaseInsensitive).size(), 1);
  s.beginGroup(s.childGroups().filter("main", Qt::CaseInsensitive).constFirst());
  QCOMPARE(s.childKeys().filter("gosax", Qt::CaseInsensitive), QStringList({"Gosax"}));
  QCOMPARE(s.value("Gosax").toString(), QStringLiteral("0.5"));
  s.endGroup();

  {
    QSettings t = store();
    t.clear();
    t.setValue("Main/DisplayCpid", "x");
    t.setValue("Main/GosaX", QByteArray("0.3"));
  }
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(!w->chkDisplayCpid->isChecked());
  QCOMPARE(w->edGosa->text(), QStringLiteral("0.4"));
}

void WindowTest::errorsAppearInABoxAndTheWindowGoesOn_data() {
  QTest::addColumn<QString>("item");
  QTest::addColumn<QString>("box_ja");
  QTest::addColumn<QString>("box_en");
  // clang-format off
  QTest::newRow("tolerance, halvejoin") << "mnHalvejoin"
      << "'abc' は浮動小数点数ではありません" << "'abc' is not a number";
  QTest::newRow("tolerance, mirror bone") << "mnMirrorBorn"
      << "'abc' は浮動小数点数ではありません" << "'abc' is not a number";
  QTest::newRow("broken file") << "open"
      << "%1:2: リストのインデックスが範囲を超えています (3)" << "%1:2: List index out of range (3)";
  // clang-format on
}

void WindowTest::errorsAppearInABoxAndTheWindowGoesOn() {
  QFETCH(QString, item);
  QFETCH(QString, box_ja);
  QFETCH(QString, box_en);
  const QString path = halfBox();
  const QString broken = dir_->filePath("broken.mdl");
  writeAll(broken, "[MODELFILE]\n[MODEL]\nName=x\n");
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  w->edGosa->setText(QStringLiteral("abc"));
  const QString opened = status(*w);
  const QImage picture = w->ImageSD->Picture();

  QString shown;
  auto box = whenShown<QMessageBox>(this, [&](QMessageBox& b) {
    shown = b.text();
    b.accept();
  });
  auto options = whenShown<TdlgMirrorBorn>(this, [](TdlgMirrorBorn& d) { d.OKBtn->click(); });
  if (item == "open") {
    QVERIFY(!w->OpenFile(broken));
  } else {
    w->findChild<QAction*>(item)->trigger();
  }
  QVERIFY(box && box->fired);
  const QString expected = japanese_ ? box_ja : box_en;
  QCOMPARE(shown, expected.contains("%1") ? expected.arg(broken) : expected);
  QVERIFY(!w->frmMatu->isVisible());
  QCOMPARE(status(*w), opened);
  QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=12\nNumber of spline=4"));
  QCOMPARE(w->ImageSD->Picture(), picture);
  // The settings of a confirmed Mirror bone dialog are stored before the tolerance fails.
  QCOMPARE(store().childGroups().contains("Mirror_Born"), item == "mnMirrorBorn");

  // The window goes on: a good tolerance runs the edit.
  w->edGosa->setText(QStringLiteral("0.001"));
  w->mnHalvejoin->trigger();
  QCOMPARE(w->Memo->toPlainText(),
           "Number of cp=12+8->20\nNumber of spline=4+2->6\n" + leftOut(2, 1, 1));
}

namespace {

void wheel(QWidget* target, QPoint at, int delta) {
  QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &event);
}

// Drags across the picture with `button` (and `modifiers`) from `from` to `to`.
void drag(QWidget* target, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint from,
          QPoint to) {
  QTest::mousePress(target, button, modifiers, from);
  QTest::mouseMove(target, (from + to) / 2);
  QTest::mouseMove(target, to);
  QTest::mouseRelease(target, button, modifiers, to);
}

// Acts once a window is visible and `ready` says so, from the event loop.
QPointer<ModalWatcher> whenVisible(QObject* owner, QWidget* window, std::function<bool()> ready,
                                   std::function<void()> act) {
  return new ModalWatcher(owner, [=] {
    if (!window->isVisible() || !ready()) return false;
    act();
    return true;
  });
}

}  // namespace

void WindowTest::wheelDragKeysZoomAndShiftAndHomeGivesTheFittedPictureBack() {
  const QString path = halfBox();
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  const QSize size = w->ImageSD->size();
  const QImage fitted = expectedPicture(path, ViewKind::Front, size);
  QCOMPARE(w->ImageSD->Picture(), fitted);
  const Mscreen& view = w->ViewState();

  // The wheel zooms about the cursor: a notch is a quarter closer.
  wheel(w->ImageSD, QPoint(60, 50), 120);
  QTRY_VERIFY(w->ImageSD->Picture() != fitted);
  QCOMPARE(static_cast<double>(view.Zoom), 1.25);
  QVERIFY(w->StatusNote->text().contains("125%"));
  QCOMPARE(status(*w), japanese_ ? path + " を読み込みました。" : "Opend " + path);

  // Drags move the picture: the middle or right button, or the left with Space or Alt held.
  // The shift a gesture makes; its picture follows once the events are taken in.
  const auto dragged = [&](auto&& how) {
    const long double x = view.ShiftX, y = view.ShiftY;
    how();
    return std::pair(static_cast<double>(view.ShiftX - x), static_cast<double>(view.ShiftY - y));
  };
  const QPoint a(100, 100), b(130, 90);
  QCOMPARE(dragged([&] { drag(w->ImageSD, Qt::MiddleButton, {}, a, b); }), std::pair(30.0, -10.0));
  QCOMPARE(dragged([&] { drag(w->ImageSD, Qt::RightButton, {}, b, a); }), std::pair(-30.0, 10.0));
  QCOMPARE(dragged([&] { drag(w->ImageSD, Qt::LeftButton, Qt::AltModifier, a, b); }),
           std::pair(30.0, -10.0));
  QCOMPARE(dragged([&] {
             QTest::keyPress(w->ImageSD, Qt::Key_Space);
             drag(w->ImageSD, Qt::LeftButton, {}, b, a);
             QTest::keyRelease(w->ImageSD, Qt::Key_Space);
           }),
           std::pair(-30.0, 10.0));
  // A left drag alone moves nothing.
  const long double shift_x = view.ShiftX;
  drag(w->ImageSD, Qt::LeftButton, {}, a, b);
  QTest::qWait(20);
  QCOMPARE(static_cast<double>(view.ShiftX), static_cast<double>(shift_x));
  // The arrow keys show more of the side they point to.
  w->ImageSD->setFocus();
  const double step = std::max(size.width(), size.height()) / 10.0;
  QCOMPARE(dragged([&] { QTest::keyClick(w->ImageSD, Qt::Key_Left); }), std::pair(step, 0.0));
  QCOMPARE(dragged([&] { QTest::keyClick(w->ImageSD, Qt::Key_Down); }), std::pair(0.0, -step));
  QTRY_COMPARE(w->ImageSD->Picture(), [&] {
    // The zoomed and shifted picture, as the view draws it.
    DocumentSession session;
    session.CurrentFile = path.toStdString();
    session.LoadDocument();
    QtSurface surface(size.width(), size.height());
    Mscreen copy = view;
    copy.SetCanvas(&surface, size.width(), size.height());
    copy.Redisplay(session.Document.get(), ViewKind::Front);
    return surface.Image().copy();
  }());

  // + and - zoom about the middle, from the keyboard and the View menu.
  QVERIFY(activate(*w));
  QTest::keyClick(w->ImageSD, Qt::Key_Plus);
  QTRY_COMPARE(static_cast<double>(view.Zoom), 1.25 * 1.25);
  w->mnZoomOut->trigger();
  QTRY_COMPARE(static_cast<double>(view.Zoom), 1.25);
  QCOMPARE(w->mnZoomIn->text(), tr2("拡大(&I)", "Zoom &In"));
  QCOMPARE(w->mnFit->text(), tr2("全体を表示(&W)", "&Whole Model"));

  // Home gives the fitted picture back exactly.
  QTest::keyClick(w->ImageSD, Qt::Key_Home);
  QTRY_COMPARE(w->ImageSD->Picture(), fitted);
  QVERIFY(view.IsFitted());
  QCOMPARE(w->StatusNote->text(), QString());

  // A zoom survives a new size of the window, but an edit and another direction fit again.
  w->mnZoomIn->trigger();
  QTRY_VERIFY(!view.IsFitted());
  w->resize(640, 480);
  QTRY_COMPARE(w->ImageSD->Picture().size(), w->ImageSD->size());
  QCOMPARE(static_cast<double>(view.Zoom), 1.25);
  w->mnViewHidari->trigger();
  QVERIFY(view.IsFitted());
  QCOMPARE(w->ImageSD->Picture(), expectedPicture(path, ViewKind::Left, w->ImageSD->size()));
  wheel(w->ImageSD, QPoint(10, 10), -240);
  QTRY_COMPARE(static_cast<double>(view.Zoom), 0.64);
  w->edGosa->setText(QStringLiteral("0.001"));
  w->mnHalvejoin->trigger();
  QVERIFY(view.IsFitted());
  w->mnFit->trigger();
  QTest::qWait(20);
  QVERIFY(view.IsFitted());
}

void WindowTest::undoAndRedoTakeBackEveryEditByteForByte() {
  const QString path = halfBox();
  auto w = newWindow();
  QVERIFY(w);
  w->edGosa->setText(QStringLiteral("0.001"));
  QVERIFY(w->OpenFile(path));
  QVERIFY(activate(*w));
  const QString title = QStringLiteral("Zevrin Ver0.56 - half_box.mdl");
  QCOMPARE(w->windowTitle(), title);
  QCOMPARE(w->mnUndo->text(), tr2("元に戻す(&U)", "&Undo"));
  QCOMPARE(w->mnUndo->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
  QCOMPARE(w->mnRedo->shortcuts(),
           (QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Shift+Z")),
                                QKeySequence(QStringLiteral("Ctrl+Y"))}));

  // Every edit, and Mirror Bone again after Halvejoin, where only its copies are saved.
  const QStringList items = {"mnAttachall",  "mnDetachall", "mnConnectGroupedSplines",
                             "mnMirrorBorn", "mnHalvejoin", "mnMirrorBorn"};
  QList<QByteArray> saved{savedBytes(*w)};
  QStringList memos{w->Memo->toPlainText()};
  QStringList names;
  for (const QString& item : items) {
    auto ok = whenShown<TdlgMirrorBorn>(this, [](TdlgMirrorBorn& d) { d.OKBtn->click(); });
    QAction* action = w->findChild<QAction*>(item);
    action->trigger();
    names.append(action->text().remove('&'));
    QCOMPARE(w->windowTitle(), title + " *");
    QCOMPARE(w->mnUndo->text(),
             japanese_ ? "元に戻す(&U): " + names.last() : "&Undo " + names.last());
    QVERIFY(!w->mnRedo->isEnabled());
    saved.append(savedBytes(*w));
    QCOMPARE(w->windowTitle(), title);
    memos.append(w->Memo->toPlainText());
    delete ok;
  }
  QVERIFY(saved[5] != saved[4]);
  // Back, one Ctrl+Z at a time: each save writes what the one before the edit wrote.
  for (int i = items.size(); i > 0; --i) {
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(status(*w),
             japanese_ ? names[i - 1] + " を元に戻しました。" : "Undid " + names[i - 1]);
    QCOMPARE(w->Memo->toPlainText(), memos[i - 1]);
    QCOMPARE(w->windowTitle(), title + " *");
    QCOMPARE(w->mnRedo->text(),
             japanese_ ? "やり直し(&R): " + names[i - 1] : "&Redo " + names[i - 1]);
    QCOMPARE(savedBytes(*w), saved[i - 1]);
  }
  QVERIFY(!w->mnUndo->isEnabled());
  // And forth again, with both redo keys.
  for (int i = 1; i <= items.size(); ++i) {
    if (i % 2) {
      QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    } else {
      QTest::keyClick(w.get(), Qt::Key_Y, Qt::ControlModifier);
    }
    QCOMPARE(status(*w),
             japanese_ ? names[i - 1] + " をやり直しました。" : "Redid " + names[i - 1]);
    QCOMPARE(w->Memo->toPlainText(), memos[i]);
    QCOMPARE(savedBytes(*w), saved[i]);
  }
  QVERIFY(!w->mnRedo->isEnabled());
  // The picture after an undo is the document's as it was.
  w->mnUndo->trigger();
  w->mnUndo->trigger();
  const QImage undone = w->ImageSD->Picture();
  const QString copy_path = dir_->filePath("undone.mdl");
  writeAll(copy_path, saved[4]);
  QCOMPARE(undone, expectedPicture(copy_path, ViewKind::Front, w->ImageSD->size()));
}

void WindowTest::anUndoneHalvejoinLeavesNoTraceInMirrorBone() {
  const auto mirrored = [this](bool halvejoin_first, const QString& name) {
    const QString path = copy(kExamples + "/half_box.mdl", name);
    auto w = newWindow();
    if (!w || !w->OpenFile(path)) return QByteArray();
    w->edGosa->setText(QStringLiteral("0.001"));
    if (halvejoin_first) {
      w->mnHalvejoin->trigger();
      w->mnUndo->trigger();
    }
    auto ok = whenShown<TdlgMirrorBorn>(this, [](TdlgMirrorBorn& d) { d.OKBtn->click(); });
    w->mnMirrorBorn->trigger();
    return w->Memo->toPlainText().toUtf8() + "\n" + savedBytes(*w);
  };
  const QByteArray plain = mirrored(false, "plain.mdl");
  QVERIFY(plain.contains("Number of bones copied=1"));
  QVERIFY(plain.contains("[SEGMENT]"));
  QCOMPARE(mirrored(true, "undone.mdl"), plain);
}

void WindowTest::aChangedDocumentAsksBeforeCloseOpenAndDrop() {
  const QString path = halfBox();
  const QString other = dir_->filePath("b.mdl");
  writeAll(other, kTwoSegmentLine);
  const QByteArray original = readAll(path);
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  // Unchanged, it closes without a question.
  {
    auto asked = whenShown<QMessageBox>(this, [](QMessageBox& b) { b.reject(); });
    auto v = newWindow();
    QVERIFY(v->OpenFile(other));
    QVERIFY(v->close());
    QVERIFY(asked && !asked->fired);
    delete asked;
  }
  w->mnDetachall->trigger();
  QVERIFY(w->IsModified());
  QCOMPARE(w->windowTitle(), QStringLiteral("Zevrin Ver0.56 - half_box.mdl *"));

  // The question, answered by `button`, as the next box shows it.
  QString asked_text;
  const auto answer = [&](QMessageBox::StandardButton button) {
    return whenShown<QMessageBox>(this, [&asked_text, button](QMessageBox& b) {
      asked_text = b.objectName() + ": " + b.text() + " [" + b.button(QMessageBox::Save)->text() +
                   "|" + b.button(QMessageBox::Discard)->text() + "|" +
                   b.button(QMessageBox::Cancel)->text() + "]";
      b.button(button)->click();
    });
  };
  const QString question =
      "SaveChangesBox: " +
      tr2("half_box.mdl は変更されています。変更を保存しますか? "
          "[保存する(&S)|保存しない(&N)|キャンセル]",
          "half_box.mdl has been changed. Save the changes? [&Save|&Don't Save|Cancel]");

  // Cancel keeps everything: close, open and drop.
  auto cancel = answer(QMessageBox::Cancel);
  QVERIFY(!w->close());
  QVERIFY(cancel && cancel->fired);
  QCOMPARE(asked_text, question);
  QVERIFY(w->isVisible());
  cancel = answer(QMessageBox::Cancel);
  QVERIFY(!w->OpenFile(other));
  QVERIFY(cancel && cancel->fired);
  QCOMPARE(w->CurrentFile(), path);
  cancel = answer(QMessageBox::Cancel);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(other)});
  const QPoint at = w->ImageSD->geometry().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &enter);
  QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.get(), &drop);
  QTRY_VERIFY(cancel && cancel->fired);
  QCOMPARE(w->CurrentFile(), path);
  QVERIFY(w->IsModified());
  QCOMPARE(readAll(path), original);

  // Save writes the change first, then the other file opens.
  auto save = answer(QMessageBox::Save);
  QVERIFY(w->OpenFile(other));
  QVERIFY(save && save->fired);
  QVERIFY(readAll(path).contains("\r\n0 0 9\r\n"));  // detached: the point's own coordinates
  QCOMPARE(w->CurrentFile(), other);
  QVERIFY(!w->IsModified());
  QCOMPARE(w->windowTitle(), QStringLiteral("Zevrin Ver0.56 - b.mdl"));

  // Discard closes and writes nothing.
  w->mnAttachall->trigger();
  auto discard = answer(QMessageBox::Discard);
  QVERIFY(w->close());
  QVERIFY(discard && discard->fired);
  QCOMPARE(readAll(other), QByteArray(kTwoSegmentLine));
}

void WindowTest::halvejoinOfAWholeModelAsksFirst() {
  auto w = newWindow();
  QVERIFY(w);
  w->edGosa->setText(QStringLiteral("0.001"));
  QVERIFY(w->OpenFile(halfBox()));
  w->mnHalvejoin->trigger();  // a half model: no question
  const QString joined = w->Memo->toPlainText();
  QVERIFY(joined.startsWith("Number of cp=12+8->20\n"));
  QString asked;
  auto no = whenShown<QMessageBox>(this, [&](QMessageBox& b) {
    asked = b.objectName() + ": " + b.text();
    b.button(QMessageBox::No)->click();
  });
  w->mnHalvejoin->trigger();
  QVERIFY(no && no->fired);
  QVERIFY2(asked.startsWith(
               tr2("AlreadyWholeBox: このモデルには X=0 平面の両側に点があります。",
                   "AlreadyWholeBox: This model already has points on both sides of X = 0.")),
           qPrintable(asked));
  QCOMPARE(w->Memo->toPlainText(), joined);
  auto yes =
      whenShown<QMessageBox>(this, [](QMessageBox& b) { b.button(QMessageBox::Yes)->click(); });
  w->mnHalvejoin->trigger();
  QVERIFY(yes && yes->fired);
  QVERIFY2(w->Memo->toPlainText().startsWith("Number of cp=20+"),
           qPrintable(w->Memo->toPlainText()));
}

void WindowTest::whatIsDrawnIsWhatWillBeSaved() {
  const QString path = halfBox();
  auto w = newWindow();
  QVERIFY(w);
  w->edGosa->setText(QStringLiteral("0.001"));
  QVERIFY(w->OpenFile(path));
  const QRgb arm = qRgb(0, 0, 255);  // the off-plane bone's colour
  QVERIFY(countPixels(w->ImageSD->Picture(), arm) > 0);

  w->mnHalvejoin->trigger();
  // The save leaves out every bone, the group and the decals: none is drawn, the memo counts
  // them as the core does.
  QCOMPARE(countPixels(w->ImageSD->Picture(), arm), 0);
  DocumentSession core;
  core.CurrentFile = path.toStdString();
  core.LoadDocument();
  const SaveOmissions left = core.Halvejoin(0.001).LeftOut;
  QCOMPARE(w->Memo->toPlainText().split('\n').last(),
           leftOut(left.Bones, left.Groups, left.Sections));
  const QByteArray saved = savedBytes(*w);
  QVERIFY(!saved.contains("[SEGMENT]"));
  QVERIFY(!saved.contains("[GROUP]"));

  // Mirror Bone's copies are saved, and drawn; the picture is that of the saved file.
  auto ok = whenShown<TdlgMirrorBorn>(this, [](TdlgMirrorBorn& d) { d.OKBtn->click(); });
  w->mnMirrorBorn->trigger();
  QVERIFY(countPixels(w->ImageSD->Picture(), arm) > 0);
  QCOMPARE(savedBytes(*w).count("[SEGMENT]"), 1);
  QCOMPARE(w->ImageSD->Picture(), expectedPicture(path, ViewKind::Front, w->ImageSD->size()));
}

void WindowTest::mirrorBoneWithoutABoneOffThePlaneSaysSo() {
  const QString path = dir_->filePath("line.mdl");
  writeAll(path, kTwoSegmentLine);
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  auto ok = whenShown<TdlgMirrorBorn>(this, [](TdlgMirrorBorn& d) { d.OKBtn->click(); });
  w->mnMirrorBorn->trigger();
  QVERIFY(ok && ok->fired);
  QCOMPARE(status(*w), tr2("Bornを反転コピーしました。", "Born Mirrored"));
  QCOMPARE(w->Memo->toPlainText(),
           QStringLiteral("Number of cp=4\nNumber of spline=2\nNumber of bones copied=0"));
  QCOMPARE(w->StatusNote->text(),
           tr2("X=0 平面から離れたボーンはありません", "No bone lies off the plane X = 0"));
}

void WindowTest::recentFilesAndTheWindowsSizeSurviveARestart() {
  const QString a = halfBox();
  const QString b = dir_->filePath("b.mdl");
  writeAll(b, kTwoSegmentLine);
  QSize size;
  {
    auto w = newWindow();
    QVERIFY(w);
    QVERIFY(!w->mnRecent->isEnabled());
    QCOMPARE(w->mnRecent->title(), tr2("最近使ったファイル(&R)", "&Recent Files"));
    QVERIFY(w->OpenFile(a));
    QVERIFY(w->OpenFile(b));
    QVERIFY(w->OpenFile(a));
    QCOMPARE(w->Recent().Paths(), QStringList({a, b}));
    for (int i = 0; i < 10; ++i) {
      const QString more = dir_->filePath(QStringLiteral("m%1.mdl").arg(i));
      writeAll(more, kTwoSegmentLine);
      QVERIFY(w->OpenFile(more));
    }
    QCOMPARE(w->Recent().Paths().size(), 8);
    QVERIFY(w->OpenFile(b));
    QVERIFY(w->OpenFile(a));
    w->resize(610, 480);
    QTRY_COMPARE(w->size(), QSize(610, 480));
    size = w->size();
  }
  auto w = newWindow();
  QVERIFY(w);
  QCOMPARE(w->size(), size);
  QCOMPARE(w->Recent().Paths().mid(0, 2), QStringList({a, b}));
  const QList<QAction*> items = w->mnRecent->actions();
  QCOMPARE(items.size(), 8);
  QCOMPARE(items[1]->text(), "&2 " + b);
  items[1]->trigger();
  QCOMPARE(w->CurrentFile(), b);
  // A file gone since is named in a box and leaves the list.
  QFile::remove(a);
  auto box = whenShown<QMessageBox>(this, [](QMessageBox& m) { m.accept(); });
  w->mnRecent->actions()[1]->trigger();
  QVERIFY(box && box->fired);
  QCOMPARE(w->CurrentFile(), b);
  QVERIFY(!w->Recent().Paths().contains(a));
}

void WindowTest::cancelStopsALoadAndAnEditLeavingTheDocumentAsItWas() {
  const QString big = bigModel();
  const QString path = halfBox();
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(path));
  const QImage picture = w->ImageSD->Picture();
  const QString memo = w->Memo->toPlainText();
  const QString title = w->windowTitle();
  QCOMPARE(w->frmMatu->btnCancel->text(), tr2("キャンセル", "Cancel"));

  // Cancel, pressed a moment after the progress window came up: by then the rest of the
  // window is disabled, and the step names itself.
  QString step;
  bool window_disabled = false;
  QElapsedTimer shown;
  const auto cancelSoon = [&] {
    shown.invalidate();
    return whenVisible(
        this, w->frmMatu,
        [&] {
          if (!shown.isValid()) shown.start();
          return shown.elapsed() > 300;
        },
        [&] {
          step = w->frmMatu->LabelStep->text();
          window_disabled = !w->centralWidget()->isEnabled() && !w->menuBar()->isEnabled();
          w->frmMatu->btnCancel->click();
        });
  };
  auto cancel = cancelSoon();
  QVERIFY(!w->OpenFile(big));
  QVERIFY2(cancel && cancel->fired, "the load was over before Cancel could be pressed");
  QCOMPARE(step, tr2("読み込み中: big.mdl", "Opening big.mdl"));
  QVERIFY(window_disabled);
  QCOMPARE(status(*w), tr2("中止しました。ドキュメントは元のままです。",
                           "Cancelled; the document is as it was."));
  QVERIFY(!w->frmMatu->isVisible());
  QVERIFY(w->centralWidget()->isEnabled());
  QCOMPARE(w->CurrentFile(), path);
  QCOMPARE(w->Memo->toPlainText(), memo);
  QCOMPARE(w->ImageSD->Picture(), picture);
  QCOMPARE(w->windowTitle(), title);

  // The edit: the document stays what it was, byte for byte.
  QVERIFY(w->OpenFile(big));
  const QString big_memo = w->Memo->toPlainText();
  w->edGosa->setText(QStringLiteral("0.001"));
  cancel = cancelSoon();
  w->mnHalvejoin->trigger();
  QVERIFY2(cancel && cancel->fired, "the edit was over before Cancel could be pressed");
  QCOMPARE(step, QStringLiteral("Halvejoin"));
  QCOMPARE(status(*w), tr2("中止しました。ドキュメントは元のままです。",
                           "Cancelled; the document is as it was."));
  QCOMPARE(w->Memo->toPlainText(), big_memo);
  QVERIFY(!w->IsModified());
  QVERIFY(!w->mnUndo->isEnabled());
  const QByteArray original = readAll(big);
  QCOMPARE(savedBytes(*w), original);
  QFile::remove(big + ".bak");
}

void WindowTest::labelsOfAMillionPointsAreOnlyThoseThatFit() {
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(bigModel()));
  const int points = w->Memo->toPlainText().section('\n', 0, 0).section('=', 1).toInt();
  QVERIFY(points > 900000);
  w->chkDisplayCpid->click();
  // "Ids: N shown, M left out where they would overlap", every point counted once.
  const QString note = w->StatusNote->text();
  const QStringList numbers =
      QString(note).replace(QRegularExpression("[^0-9]+"), " ").simplified().split(' ');
  QCOMPARE(numbers.size(), 2);
  const qint64 shown = numbers[0].toLongLong(), left_out = numbers[1].toLongLong();
  QCOMPARE(shown + left_out, qint64(points));
  // No label covers another: no more than fit on the picture.
  QtSurface measure(1, 1);
  const TextExtent box = measure.MeasureLabel(1, 9);
  const QSize size = w->ImageSD->size();
  QVERIFY2(shown * box.Width * box.Height <= qint64(size.width()) * size.height(),
           qPrintable(note));
  QVERIFY(shown > 10);
  QVERIFY(countPixels(w->ImageSD->Picture(), qRgb(0, 128, 0)) > 0);
  QCOMPARE(note, tr2("CPID: %1 個を表示、重なる %2 個は省略",
                     "Ids: %1 shown, %2 left out where they would overlap")
                     .arg(shown)
                     .arg(left_out));
  // Closer, the labels of the points in sight are drawn afresh.
  wheel(w->ImageSD, QPoint(size.width() / 2, size.height() / 2), 120 * 8);
  QTRY_VERIFY_WITH_TIMEOUT(w->StatusNote->text() != note, 120000);
  w->chkDisplayCpid->click();
  QVERIFY(!w->StatusNote->text().contains(tr2("CPID", "Ids")));
}

void WindowTest::anUndoBudgetTooSmallForAStepSaysSo() {
  {
    QSettings s = store();
    s.setValue("Main/UndoBudgetMB", "0");
  }
  auto w = newWindow();
  QVERIFY(w);
  QVERIFY(w->OpenFile(halfBox()));
  w->mnDetachall->trigger();
  QCOMPARE(w->StatusNote->text(),
           tr2("モデルが元に戻せる操作の上限 (0 MB) より大きいため、元に戻せません",
               "Cannot be undone: the model exceeds the undo limit (0 MB)"));
  QCOMPARE(status(*w), tr2("AttachしているCPをDetachしました。", "Detached"));
  QVERIFY(!w->mnUndo->isEnabled());
  QVERIFY(w->IsModified());
  // Saving still clears the changed mark.
  w->mnSave->trigger();
  w->mnAttachall->trigger();
  w->mnSave->trigger();
  QVERIFY(!w->IsModified());
}

// A polygon file on which Assimp loops: the reader process is ended at the limit kept in the
// settings, the error appears in a box, and the open document stays.
void WindowTest::aReaderPastItsTimeLimitEndsInABox() {
  store().setValue("Main/ReaderTimeout", "1");
  const QString cut = dir_->filePath("cut.ply");
  writeAll(cut, "ply\nformat ascii");
  {
    auto w = newWindow();
    QVERIFY(w);
    QVERIFY(w->OpenFile(halfBox()));
    const QString opened = status(*w);
    QString shown;
    auto box = whenShown<QMessageBox>(this, [&](QMessageBox& b) {
      shown = b.text();
      b.accept();
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!w->OpenFile(cut));
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY(box && box->fired);
    QCOMPARE(shown, cut + tr2(": ポリゴンファイルの読み込みが 1 秒以内に終わりませんでした",
                              ": Reading the polygon file did not finish within 1 s"));
    QCOMPARE(status(*w), opened);
    QCOMPARE(w->Memo->toPlainText(), QStringLiteral("Number of cp=12\nNumber of spline=4"));
  }
  // Kept for the next run.
  QCOMPARE(store().value("Main/ReaderTimeout").toString(), QStringLiteral("1"));
}

// The picture a user or a script takes of the window without a display.
class ScreenshotTest : public QObject {
  Q_OBJECT
 private slots:
  void savesTheWholeWindowAtItsFirstSize();
};

void ScreenshotTest::savesTheWholeWindowAtItsFirstSize() {
  QTemporaryDir dir;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", dir.path());
  const auto run = [&](const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZEVRIN_GUI), args);
    p.waitForFinished(-1);
    return std::pair(p.exitCode(), QString::fromUtf8(p.readAllStandardError()));
  };

  const QString out = dir.filePath("window.png");
  const auto [rc, err] = run({"--screenshot", out, kExamples + "/half_box.mdl"});
  QCOMPARE(rc, 0);
  QCOMPARE(err, QString());
  const QImage shot(out);
  QCOMPARE(shot.size(), QSize(530, 417));
  // The wireframe is there: white model lines on the black picture.
  QVERIFY(countPixels(shot, qRgb(255, 255, 255)) > 20);
  QVERIFY(countPixels(shot, qRgb(0, 0, 0)) > 530 * 100);

  const QString missing_out = dir.filePath("missing.png");
  const auto [rc2, err2] = run({"--screenshot", missing_out, dir.filePath("none.mdl")});
  QCOMPARE(rc2, 1);
  QVERIFY2(err2.contains("Error:"), qPrintable(err2));
  QCOMPARE(QImage(missing_out).size(), QSize(530, 417));
}

// File > Export.. below Save As, enabled with it: the dialog offers the formats, proposes the
// document's name, takes a typed extension or the chosen format's, keeps a replaced file as
// .bak, shows the patches in the memo; Cancel writes nothing.
void WindowTest::exportWritesThePatchesInTheChosenFormat() {
  const QString pyramid =
      copy(kTestData + "/pyramid_mixed_lines.rok", QStringLiteral("pyramid.rok"));
  auto w = newWindow();
  QVERIFY(w);
  QCOMPARE(w->mnExport->text(), tr2("エクスポート(&E)", "&Export.."));
  const QList<QAction*> items = w->mnFile->actions();
  QCOMPARE(items.indexOf(w->mnExport), items.indexOf(w->mnSaveAs) + 1);
  QVERIFY(!w->mnExport->isEnabled());
  QVERIFY(w->OpenFile(pyramid));
  QVERIFY(w->mnExport->isEnabled());

  const auto facesIn = [](const QString& path) {
    AssimpPolygonReader reader;
    StepContext step;
    return reader.Read(path.toStdString(), step)->Faces;
  };
  // Typed with an extension: STL, whatever the chosen filter; the quad base as two triangles.
  QString preset;
  QStringList filters;
  // No file in the folder matches the proposed format: the dialog lists nothing to wait for.
  auto watcher = whenShown<QFileDialog>(this, [&](QFileDialog& d) {
    preset = d.selectedFiles().value(0);
    filters = d.nameFilters();
    typeAndAccept(d, dir_->filePath(QStringLiteral("out.stl")));
  });
  w->mnExport->trigger();
  QVERIFY(watcher && watcher->fired);
  QCOMPARE(QFileInfo(preset).fileName(), QStringLiteral("pyramid.obj"));
  QCOMPARE(filters.size(), 7);
  QVERIFY(filters.contains(QStringLiteral("glTF 2.0 binary (*.glb)")));
  const QString stl = dir_->filePath(QStringLiteral("out.stl"));
  QCOMPARE(status(*w), japanese_ ? stl + "へ保存しました" : "Saved " + stl);
  QCOMPARE(w->Memo->toPlainText(),
           QStringLiteral("Number of patch=5 (triangle=4 quad=1)\nNumber of hole=0\n"
                          "Number of unorientable=0"));
  QCOMPARE(facesIn(stl).size(), std::size_t{6});

  // Typed without one: the chosen format's; a file there is kept as .bak.
  const QString glb = dir_->filePath(QStringLiteral("again.glb"));
  writeAll(glb, "old");
  auto typed = whenShown<QFileDialog>(this, [&](QFileDialog& d) {
    d.selectNameFilter(QStringLiteral("glTF 2.0 binary (*.glb)"));
    typeAndAccept(d, dir_->filePath(QStringLiteral("again")));
  });
  w->mnExport->trigger();
  QVERIFY(typed && typed->fired);
  QCOMPARE(readAll(glb + ".bak"), QByteArray("old"));
  QCOMPARE(facesIn(glb).size(), std::size_t{6});

  // Cancel writes nothing and keeps the status.
  const QString before = status(*w);
  auto cancel = whenShown<QFileDialog>(this, [](QFileDialog& d) { d.reject(); });
  w->mnExport->trigger();
  QVERIFY(cancel && cancel->fired);
  QCOMPARE(status(*w), before);
  QCOMPARE(QDir(dir_->path()).entryList(QDir::Files, QDir::Name),
           QStringList({"again.glb", "again.glb.bak", "out.stl", "pyramid.rok"}));

  // A model whose splines close no patch: the error in the box, no file, the window goes on.
  QString error;
  w->SetErrorSink([&](const QString& text) { error = text; });
  QVERIFY(w->OpenFile(copy(kTestData + "/halvejoin_in.mdl", QStringLiteral("open.mdl"))));
  auto none = whenShown<QFileDialog>(
      this, [&](QFileDialog& d) { typeAndAccept(d, dir_->filePath(QStringLiteral("none.obj"))); });
  w->mnExport->trigger();
  QVERIFY(none && none->fired);
  QVERIFY2(error.endsWith(
               tr2("書き出すパッチがありません (3 本か 4 本のスプラインで閉じた面がありません)",
                   "Nothing to export: no three or four spline segments close a patch")),
           qPrintable(error));
  QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("none.obj"))));
  QVERIFY(w->mnExport->isEnabled());
}

}  // namespace zevrin

namespace {

// The window takes its language from these at creation; nothing else may leak in.
void pinLanguage(bool japanese) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) unsetenv(name);
  setenv("LANG", japanese ? "ja_JP.UTF-8" : "en_US.UTF-8", 1);
}

}  // namespace

int main(int argc, char** argv) {
  // ctest starts the binary without the tests' environment, and there may be no display.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!platform || !*platform) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Settings, "attach_err.txt" and Qt's runtime files go to folders this run owns.
  QTemporaryDir home;
  if (!home.isValid()) return 1;
  zevrin::test::MoveIntoHome(home);

  std::vector<char*> args(argv, argv + argc);
  const std::vector<bool> languages = zevrin::test::TakeLanguages(args);
  int qt_argc = static_cast<int>(args.size());
  QApplication app(qt_argc, args.data());
  int failures = 0;
  for (bool japanese : languages) {
    pinLanguage(japanese);
    zevrin::WindowTest test(japanese);
    failures += QTest::qExec(&test, qt_argc, args.data());
  }
  // The picture is taken by another process; once is enough.
  if (!languages.back()) {
    zevrin::ScreenshotTest screenshot;
    failures += QTest::qExec(&screenshot, qt_argc, args.data());
  }
  return failures == 0 ? 0 : 1;
}

#include "test_gui.moc"
