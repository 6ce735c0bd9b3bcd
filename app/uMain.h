// The main window: owner of the open document, its wireframe picture and the three other
// windows (progress, About, Mirror bone options). Every menu item, speed button and control
// runs one action of the core's DocumentSession; the window adds the dialogs, the memo of
// counts, the status line in the user's language and the settings kept between runs.
//
// Commands run one at a time on the window's thread. An error raised by any of them is shown
// in a message box as "FILE:LINE: message" and the window goes on with the document as the
// core left it (an edit that fails checks first and changes nothing).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/session/Document.h"
#include "import/assimp/M_assimp.h"
#include "import/assimp/M_assimp_export.h"
#include "view/M_scr.h"

namespace zevrin {

class QtSurface;
class SettingsStore;
class TDropAccept;
class TdlgMirrorBorn;
class TfrmAbout;
class TfrmMatu;

// The image control that shows the wireframe picture. It draws whatever picture it was
// given and reports its size changes.
class TImage : public QWidget {
 public:
  explicit TImage(QWidget* parent);
  void SetPicture(QtSurface* picture);  // not owned
  // The picture as shown, a copy; a null image before the first size change.
  QImage Picture() const;
  std::function<void()> OnResize;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QtSurface* picture_ = nullptr;
};

class TfrmMain : public QMainWindow {
 public:
  // `start_file`, when not empty, is opened once the window is first shown.
  explicit TfrmMain(const QString& start_file = QString(), QWidget* parent = nullptr);
  // Stores the settings, then destroys the document.
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Menus and their items.
  QMenu* mnFile;
  QAction* mnOpen;
  QAction* mnSave;
  QAction* mnSaveAs;
  QAction* mnExpandInserts;  // checkable: a DXF file's inserted blocks bring their faces
  QAction* mnExit;
  QAction* mnExport;  // File > Export..: the patches as a polygon file (uExport.cpp)
  QMenu* mnEdit;
  QAction* mnHalvejoin;
  QAction* mnConnectGroupedSplines;
  QAction* mnAttachall;
  QAction* mnDetachall;
  QAction* mnMirrorBorn;
  QMenu* mnView;
  QAction* mnViewMae;
  QAction* mnViewHidari;
  QAction* mnViewUe;
  QMenu* mnHelp;
  QAction* mnAbout;

  // The tool panel, the picture and the status line.
  QFrame* PanelTop;
  QToolButton* sbtnOpen;
  QToolButton* sbtnSave;
  QToolButton* sbtnSaveAs;
  QComboBox* comboDir;
  QLabel* LabelGosa;
  QLineEdit* edGosa;
  QCheckBox* chkDisplayCpid;
  QPlainTextEdit* Memo;
  TImage* ImageSD;
  QStatusBar* StatusBar;
  QLabel* StatusText;  // the status bar's one simple panel
  QFileDialog* OpenDialog;
  QFileDialog* SaveDialog;
  TDropAccept* DropAccept;
  QFileDialog* ExportDialog;

  // The other windows, hidden until used.
  TfrmMatu* frmMatu;
  TfrmAbout* frmAbout;
  TdlgMirrorBorn* dlgMirrorBorn;

  bool Japanese() const { return japanese_; }
  // Whether the picture labels the control points.
  bool ShowsCpid() const { return View.ShowCpid; }
  QString CurrentFile() const;

  // Opens `path` as the document, as the Open command does once its dialog is confirmed.
  // False when it did not open (the status line or an error says why).
  bool OpenFile(const QString& path);

  // Where error texts go instead of a message box; for runs that nobody watches.
  void SetErrorSink(std::function<void(const QString&)> sink) { error_sink_ = std::move(sink); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void createControls();
  void createMenus();
  void applyLanguage();
  void LoadSettings();
  void SaveSettings();

  void FormShow();
  void FormResize();
  void Resize_virtual_screen();
  void Redisplay();
  void ShowStatus(const QString& text);
  void ShowStatus(const std::string& text) { ShowStatus(QString::fromStdString(text)); }
  void SetMemo(const std::vector<std::string>& lines);
  // Opens CurrentFile: memo, menus and status; the caller redraws. False when it did not open.
  bool LoadDocument();
  double Tolerance() const;

  // Runs one command: nothing while another runs, an error box for an error.
  bool command(const std::function<void()>& body);
  void showError(const QString& text);

  void sbtnOpenClick();
  void sbtnSaveClick();
  void sbtnSaveAsClick();
  void mnHalvejoinClick();
  void mnConnectGroupedSplinesClick();
  void mnAttachallClick();
  void mnDetachallClick();
  void mnMirrorBornClick();
  void selectView(int item);
  void mnAboutClick();
  void comboDirChange();
  void chkDisplayCpidClick();
  void DropAcceptDropped();
  // File > Export..: its item below Save As, enabled with it, and its dialog.
  void createExportAction();
  void mnExportClick();

  bool japanese_ = false;
  QString OpenDialogDir;
  QString start_file_;
  AssimpPolygonReader assimp_reader_;
  AssimpPolygonWriter assimp_writer_;
  DocumentSession session_;
  Mscreen View;
  std::unique_ptr<QtSurface> picture_;
  std::unique_ptr<SettingsStore> RegIni;  // only while settings are read or written
  std::function<void(const QString&)> error_sink_;
  bool shown_ = false;
  bool busy_ = false;
  bool resize_pending_ = false;
  bool drop_pending_ = false;
};

}  // namespace zevrin
