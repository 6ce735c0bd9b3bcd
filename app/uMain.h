// The main window: owner of the open document, its wireframe picture and the three other
// windows (progress, About, Mirror bone options). Every menu item, speed button and control
// runs one action of the core's DocumentSession; the window adds the dialogs, the memo of
// counts, the status line in the user's language and the settings kept between runs.
//
// Commands run one at a time. A load or an edit runs on a thread of its own while the window
// goes on painting, the rest of it disabled, and the progress window names the step and can
// stop it; the handler returns once the step is over. An error raised by any command is shown
// in a message box as "FILE:LINE: message" and the window goes on with the document as it
// was: every edit runs on a copy that replaces the document only when the edit succeeded
// (EditHistory), which also gives undo and redo.
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
#include "app/session/EditHistory.h"
#include "app/uRecentFiles.h"
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
class TShadedView;
struct ShadedScene;

// The image control that shows the wireframe picture. It draws whatever picture it was
// given, reports its size changes, and turns the wheel, drags and keys into zooms and shifts
// of the view: the wheel zooms about the cursor, a drag with the middle or right button (or
// the left one with Space or Alt held) moves the picture, and the arrow keys move it too.
class TImage : public QWidget {
 public:
  explicit TImage(QWidget* parent);
  void SetPicture(QtSurface* picture);  // not owned
  // The picture as shown, a copy; a null image before the first size change.
  QImage Picture() const;
  std::function<void()> OnResize;
  // Zoom by a factor about a pixel of the picture; move the picture by pixels.
  std::function<void(double factor, QPointF at)> OnZoom;
  std::function<void(double dx, double dy)> OnShift;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  QtSurface* picture_ = nullptr;
  bool space_held_ = false;
  bool dragging_ = false;
  QPointF drag_from_;
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
  QMenu* mnRecent;    // the files opened last, newest first
  QAction* mnExport;  // File > Export..: the patches as a polygon file (uExport.cpp)
  QMenu* mnEdit;
  QAction* mnUndo;
  QAction* mnRedo;
  QAction* mnHalvejoin;
  QAction* mnConnectGroupedSplines;
  QAction* mnAttachall;
  QAction* mnDetachall;
  QAction* mnMirrorBorn;
  QMenu* mnView;
  QAction* mnViewMae;
  QAction* mnViewHidari;
  QAction* mnViewUe;
  QAction* mnViewShaded;     // the surface, lit, turned with the mouse (uShadedView.h)
  QAction* mnShadedSplines;  // checkable: the shaded view draws the splines over the surface
  QAction* mnZoomIn;
  QAction* mnZoomOut;
  QAction* mnFit;  // back to the fitted picture
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
  // The shaded view in ImageSD's place while it is chosen; made when first chosen.
  TShadedView* Shaded = nullptr;
  QStatusBar* StatusBar;
  QLabel* StatusText;  // the status bar's simple panel: the outcome of the last command
  QLabel* StatusNote;  // beside it: labels left out, undo steps dropped, the zoom
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

  // Opens `path` as the document, as the Open command does once its dialog is confirmed
  // (asking first whether to save a changed document). False when it did not open (the
  // status line or a message box says why).
  bool OpenFile(const QString& path);

  // Whether the document changed since it was opened or last saved.
  bool IsModified() const { return history_.Modified(); }
  // The view's zoom and shift on top of the fitted picture.
  const Mscreen& ViewState() const { return View; }
  const RecentFiles& Recent() const { return recent_; }

  // Whether the shaded view is the one shown (the combo box's last item).
  bool ShadedShown() const;
  // The shaded view draws in software even where OpenGL could be had; before it is first shown.
  void ForceSoftwareShading() { software_shading_ = true; }

  // The window opens at its designed size in the middle of the screen, whatever size the last
  // run left; for pictures that must not depend on the settings.
  void KeepDesignSize() { keep_design_size_ = true; }

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

  // Runs one command: nothing while another runs, an error box for an error (none for a
  // step the user cancelled).
  bool command(const std::function<void()>& body);
  void showError(const QString& text);
  // Runs `work` on a thread of its own, the progress window naming it `step`, while this
  // thread goes on with the window (disabled but for the progress window); returns when the
  // work is over, raising what it raised.
  void runStep(const QString& step, const std::function<void()>& work);
  // Runs an edit of the undo history under its menu caption: off the window's thread, on a
  // copy of the document. The memo, status and picture are the caller's.
  StepResult runEdit(const char* caption, const std::function<StepResult(DocumentSession&)>& edit);
  // Attach all or Detach all under its caption, with the attached points before and after.
  void attachEdit(const char* caption, StepResult (DocumentSession::*edit)(),
                  const std::string& status);
  // After a command that changed the document or its saved state.
  void documentChanged();
  void updateHistoryItems();
  void updateTitle();
  // Asks whether to save a changed document before it is closed or replaced; false: keep it.
  bool maybeSave();
  // The memo's lines, and what the next save leaves out after them.
  void SetResultMemo(std::vector<std::string> lines, const StepResult& result);
  void setNote(const QString& note);
  void refreshNote();

  // The picture after a zoom or shift, drawn once the events waiting have been taken in.
  void changeView(const std::function<void()>& change);
  void redrawView();
  void zoomBy(double factor);  // about the middle of the picture

  void createHistoryItems();
  void createZoomItems();
  void createRecentMenu();
  void createShadedItems();
  // The shaded view in ImageSD's place, or ImageSD back.
  void showShaded(bool shown);
  // The surface of the document as it stands, made on a step's thread when the shaded view
  // shows and the surface is older than the document; the view keeps its direction.
  void updateScene();
  // After every change of the document's content: the surface is made again when next shown.
  void geometryChanged() { scene_stale_ = true; }
  void fillRecentMenu();
  void mnUndoClick();
  void mnRedoClick();
  // Undo (or redo) the last step, with its memo, status and picture.
  void historyStep(bool undo);

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
  EditHistory history_;
  RecentFiles recent_;
  std::vector<std::string> memo_lines_;  // what the memo shows, kept with each undo step
  QString step_note_;                    // the note of the last command
  QString labels_note_;                  // the note of the last picture
  bool redraw_pending_ = false;
  bool keep_design_size_ = false;
  QByteArray stored_geometry_;  // the last run's size and place, restored when first shown
  std::int32_t undo_budget_mb_ = 1024;
  std::shared_ptr<const ShadedScene> scene_;  // what the shaded view draws
  bool scene_stale_ = true;
  bool software_shading_ = false;
  // The zoom and shift of the last picture drawn, taken back when another fails to draw.
  long double drawn_zoom_ = 1, drawn_shift_x_ = 0, drawn_shift_y_ = 0;
};

}  // namespace zevrin
