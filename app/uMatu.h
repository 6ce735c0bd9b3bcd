// The progress window "処理中": two bars that loads and edits move while they run on the
// window's only thread. It stays on top of the main window and is shown and hidden around
// every load and edit through the core's ProgressWindow interface.
#pragma once

#include <QProgressBar>
#include <QWidget>

#include "app/session/Document.h"
#include "model/tree/AM_const.h"

namespace zevrin {

class TfrmMatu : public QWidget, public ProgressWindow {
 public:
  // A tool window of `owner`, hidden until shown.
  explicit TfrmMatu(QWidget* owner);

  void Show() override;
  void Hide() override;

  // The upper bar (stages of a command) and the lower bar (items of a loop), as the core's
  // progress interface.
  ProgressBar* MainBar() override { return &main_; }
  ProgressBar* SubBar() override { return &sub_; }

  QProgressBar* Bar_main;
  QProgressBar* Bar_sub;

 private:
  // Binds a widget to the core's bar. A change of the shown value is painted at once and the
  // window system gets a moment, since the command holds the thread until it ends.
  class Bar : public BasicProgressBar {
   public:
    Bar(TfrmMatu& owner, QProgressBar*& widget) : owner_(owner), widget_(widget) {}

   protected:
    void Changed() override;

   private:
    TfrmMatu& owner_;
    QProgressBar*& widget_;
  };

  // Lets pending paints and window-system events through, but no user input.
  void letPaint();

  Bar main_;
  Bar sub_;
};

}  // namespace zevrin
