// The progress window "処理中": two bars that loads and edits move, the name of the step
// under way and a button that stops it. It stays on top of the main window and is shown and
// hidden around every load and edit through the core's ProgressWindow interface.
//
// The steps run on a thread of their own: the core moves the bars and shows or hides the
// window from that thread, and every such call is handed to the window's thread, in order.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <atomic>

#include "app/session/Document.h"
#include "model/tree/AM_const.h"

namespace zevrin {

class TfrmMatu : public QWidget, public ProgressWindow {
 public:
  // A tool window of `owner`, hidden until shown; the button speaks English unless `japanese`.
  explicit TfrmMatu(QWidget* owner, bool japanese = true);

  // Names the step that is about to run and makes ready its Cancel. From the window's thread.
  void Begin(const QString& step);

  void Show() override;
  void Hide() override;

  // The upper bar (stages of a command) and the lower bar (items of a loop), as the core's
  // progress interface.
  ProgressBar* MainBar() override { return &main_; }
  ProgressBar* SubBar() override { return &sub_; }
  // Set by the Cancel button until the next step begins.
  const std::atomic<bool>* CancelFlag() override { return &cancel_; }
  bool CancelPressed() const { return cancel_.load(); }

  QProgressBar* Bar_main;
  QProgressBar* Bar_sub;
  QLabel* LabelStep;
  QPushButton* btnCancel;

 private:
  // Binds a widget to the core's bar: each new position goes to the widget on the window's
  // thread.
  class Bar : public BasicProgressBar {
   public:
    explicit Bar(QProgressBar*& widget) : widget_(widget) {}

   protected:
    void Changed() override;

   private:
    QProgressBar*& widget_;
    std::int32_t shown_ = -1;  // the last position handed on; only the step's thread
  };

  // Runs `f` on the window's thread: at once from there, queued from any other.
  template <class F>
  void onWindowThread(F&& f);

  Bar main_;
  Bar sub_;
  std::atomic<bool> cancel_{false};
};

}  // namespace zevrin
