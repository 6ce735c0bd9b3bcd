#include "app/uWindowTexts.h"

#include <QFileInfo>

namespace zevrin::texts {
namespace {

QString pick(bool ja, const char* japanese, const char* english) {
  return QString::fromUtf8(ja ? japanese : english);
}

QString count(std::int64_t n) { return QString::number(n); }

}  // namespace

QString EditName(const char* caption) { return QString::fromUtf8(caption).remove('&'); }

QString UndoItem(bool ja, const QString& edit) {
  if (edit.isEmpty()) return pick(ja, "元に戻す(&U)", "&Undo");
  return ja ? QStringLiteral("元に戻す(&U): ") + edit : QStringLiteral("&Undo ") + edit;
}

QString RedoItem(bool ja, const QString& edit) {
  if (edit.isEmpty()) return pick(ja, "やり直し(&R)", "&Redo");
  return ja ? QStringLiteral("やり直し(&R): ") + edit : QStringLiteral("&Redo ") + edit;
}

QString Undone(bool ja, const QString& edit) {
  return ja ? edit + QStringLiteral(" を元に戻しました。") : QStringLiteral("Undid ") + edit;
}

QString Redone(bool ja, const QString& edit) {
  return ja ? edit + QStringLiteral(" をやり直しました。") : QStringLiteral("Redid ") + edit;
}

QString Cancelled(bool ja) {
  return pick(ja, "中止しました。ドキュメントは元のままです。",
              "Cancelled; the document is as it was.");
}

QString OpeningStep(bool ja, const QString& file) {
  const QString name = QFileInfo(file).fileName();
  return ja ? QStringLiteral("読み込み中: ") + name : QStringLiteral("Opening ") + name;
}

QString SaveButton(bool ja) { return pick(ja, "保存する(&S)", "&Save"); }
QString DiscardButton(bool ja) { return pick(ja, "保存しない(&N)", "&Don't Save"); }
QString CancelButton(bool ja) { return pick(ja, "キャンセル", "Cancel"); }

QString ZoomInItem(bool ja) { return pick(ja, "拡大(&I)", "Zoom &In"); }
QString ZoomOutItem(bool ja) { return pick(ja, "縮小(&O)", "Zoom &Out"); }
QString FitItem(bool ja) { return pick(ja, "全体を表示(&W)", "&Whole Model"); }
QString RecentMenu(bool ja) { return pick(ja, "最近使ったファイル(&R)", "&Recent Files"); }

QString SaveChangesTitle(bool ja) { return pick(ja, "変更の保存", "Save Changes"); }

QString SaveChanges(bool ja, const QString& file) {
  const QString name = QFileInfo(file).fileName();
  return ja ? name + QStringLiteral(" は変更されています。変更を保存しますか?")
            : name + QStringLiteral(" has been changed. Save the changes?");
}

QString AlreadyWholeTitle(bool) { return QStringLiteral("Halvejoin"); }

QString AlreadyWhole(bool ja) {
  return pick(ja,
              "このモデルには X=0 平面の両側に点があります。Halvejoin すると鏡像が元の点に"
              "重なり、点とスプラインが倍になります。続けますか?",
              "This model already has points on both sides of X = 0. Halvejoin would mirror "
              "them onto each other and double the points and splines. Halvejoin anyway?");
}

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
  const QString mb = QString::number(budget_bytes >> 20);
  return ja ? QStringLiteral("元に戻せる操作の上限 (%1 MB) を超えたため、古い %2 件を破棄しました")
                  .arg(mb, count(steps))
            : QStringLiteral("Undo limit (%1 MB): the oldest %2 step(s) dropped")
                  .arg(mb, count(steps));
}

QString StepNotKept(bool ja, std::size_t budget_bytes) {
  const QString mb = QString::number(budget_bytes >> 20);
  return ja ? QStringLiteral("モデルが元に戻せる操作の上限 (%1 MB) より大きいため、元に戻せません")
                  .arg(mb)
            : QStringLiteral("Cannot be undone: the model exceeds the undo limit (%1 MB)").arg(mb);
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
  if (file.isEmpty()) return caption;
  return caption + QStringLiteral(" - ") + QFileInfo(file).fileName() +
         (modified ? QStringLiteral(" *") : QString());
}

}  // namespace zevrin::texts
