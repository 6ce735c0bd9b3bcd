#include "app/uWindowTexts.h"

#include <QFileInfo>

#include "app/session/HistoryTexts.h"
#include "app/uFormUtil.h"

namespace zevrin::texts {
namespace {

QString pick(bool ja, const char* japanese, const char* english) {
  return QString::fromUtf8(ja ? japanese : english);
}

QString count(std::int64_t n) { return QString::number(n); }

}  // namespace

QString EditName(const char* caption) { return FromCore(zevrin::EditName(caption)); }

QString UndoItem(bool ja, const QString& edit) {
  return FromCore(zevrin::UndoItem(ja, ToCore(edit)));
}

QString RedoItem(bool ja, const QString& edit) {
  return FromCore(zevrin::RedoItem(ja, ToCore(edit)));
}

QString Undone(bool ja, const QString& edit) { return FromCore(zevrin::Undone(ja, ToCore(edit))); }

QString Redone(bool ja, const QString& edit) { return FromCore(zevrin::Redone(ja, ToCore(edit))); }

QString Cancelled(bool ja) { return FromCore(zevrin::Cancelled(ja)); }

QString OpeningStep(bool ja, const QString& file) {
  const QString name = QFileInfo(file).fileName();
  return ja ? QStringLiteral("読み込み中: ") + name : QStringLiteral("Opening ") + name;
}

QString SaveButton(bool ja) { return FromCore(zevrin::SaveButton(ja)); }
QString DiscardButton(bool ja) { return FromCore(zevrin::DiscardButton(ja)); }
QString CancelButton(bool ja) { return FromCore(zevrin::CancelButton(ja)); }

QString ZoomInItem(bool ja) { return pick(ja, "拡大(&I)", "Zoom &In"); }
QString ZoomOutItem(bool ja) { return pick(ja, "縮小(&O)", "Zoom &Out"); }
QString FitItem(bool ja) { return pick(ja, "全体を表示(&W)", "&Whole Model"); }
QString RecentMenu(bool ja) { return pick(ja, "最近使ったファイル(&R)", "&Recent Files"); }

QString SaveChangesTitle(bool ja) { return FromCore(zevrin::SaveChangesTitle(ja)); }

QString SaveChanges(bool ja, const QString& file) {
  return FromCore(zevrin::SaveChanges(ja, ToCore(file)));
}

QString AlreadyWholeTitle(bool ja) { return FromCore(zevrin::AlreadyWholeTitle(ja)); }

QString AlreadyWhole(bool ja) { return FromCore(zevrin::AlreadyWhole(ja)); }

QString NoSuchFile(bool ja, const QString& path) {
  return ja ? QStringLiteral("ファイル %1 が存在しません。").arg(path)
            : QStringLiteral("The file %1 does not exist.").arg(path);
}

QString LabelsLeftOut(bool ja, std::int64_t shown, std::int64_t left_out) {
  return ja ? QStringLiteral("CPID: %1 個を表示、重なる %2 個は省略")
                  .arg(count(shown), count(left_out))
            : QStringLiteral("Ids: %1 shown, %2 left out where they would overlap")
                  .arg(count(shown), count(left_out));
}

QString OldestStepsDropped(bool ja, std::int32_t steps, std::size_t budget_bytes) {
  return FromCore(zevrin::OldestStepsDropped(ja, steps, budget_bytes));
}

QString StepNotKept(bool ja, std::size_t budget_bytes) {
  return FromCore(zevrin::StepNotKept(ja, budget_bytes));
}

QString NoBoneOffThePlane(bool ja) {
  return pick(ja, "X=0 平面から離れたボーンはありません", "No bone lies off the plane X = 0");
}

QString ZoomNote(bool ja, long double zoom) {
  const QString percent = QString::number(static_cast<double>(zoom) * 100, 'g', 4) + '%';
  return ja ? QStringLiteral("表示倍率 ") + percent : QStringLiteral("Zoom ") + percent;
}

QString LeftOutLine(bool ja, const SaveOmissions& o) {
  QString line =
      ja ? QStringLiteral("保存で省かれるもの: ボーン=%1 グループ=%2 その他のセクション=%3")
               .arg(count(o.Bones), count(o.Groups), count(o.Sections))
         : QStringLiteral("Left out of the next save: bones=%1 groups=%2 other sections=%3")
               .arg(count(o.Bones), count(o.Groups), count(o.Sections));
  // Only tag files have lists of points to lose lines from.
  if (o.ListLines > 0)
    line += (ja ? QStringLiteral(" リストの行=%1") : QStringLiteral(" list lines=%1"))
                .arg(count(o.ListLines));
  return line;
}

QString AttachedLine(std::int64_t before, std::int64_t after) {
  return QStringLiteral("Number of attached cp=%1->%2").arg(count(before), count(after));
}

QString BonesCopiedLine(std::int32_t copied) {
  return QStringLiteral("Number of bones copied=%1").arg(count(copied));
}

QString Title(const QString& caption, const QString& file, bool modified) {
  return FromCore(zevrin::Title(ToCore(caption), ToCore(file), modified));
}

}  // namespace zevrin::texts
