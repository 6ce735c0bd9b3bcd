#include "app/uMirrorBornDlg.h"

#include <QFrame>

#include "app/uFormUtil.h"
#include "app/uSettings.h"

namespace zevrin {

TdlgMirrorBorn::TdlgMirrorBorn(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("dlgMirrorBorn"));
  setWindowTitle(QStringLiteral("Mirror Boneオプション"));
  setFont(DesignFont());
  setFixedSize(293, 273);

  GroupBox1 = new QGroupBox(QStringLiteral("ボーン名変更規則"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, 277, 219);

  // All three rule buttons share the group box, so exactly one of them is checked.
  const auto radio = [this](const char* name, const QString& text, int y) {
    auto* button = new QRadioButton(text, GroupBox1);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(12, y, 255, 18);
    return button;
  };
  const auto label = [this](const char* name, const QString& text, int y) {
    auto* l = new QLabel(text, GroupBox1);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(30, y + 3, 100, 15);
    return l;
  };
  const auto edit = [this](const char* name, int y) {
    auto* e = new QLineEdit(GroupBox1);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(134, y, 129, 21);
    return e;
  };

  radioR2L = radio("radioR2L", QStringLiteral("\"AAA*\"を\"\"BBB*\"に変更"), 22);
  radioR2Le = radio("radioR2Le", QStringLiteral("\"*AAA\"を\"\"*BBB\"に変更"), 44);
  Label2 = label("Label2", QStringLiteral("元の単語(AAA)"), 70);
  edRepString = edit("edRepString", 70);
  Label3 = label("Label3", QStringLiteral("MB後の単語(BBB)"), 98);
  edMBString = edit("edMBString", 98);

  auto* bevel = new QFrame(GroupBox1);
  bevel->setObjectName(QStringLiteral("Bevel1"));
  bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  bevel->setGeometry(8, 130, 261, 4);

  radioAddString = radio("radioAddString", QStringLiteral("文字列追加"), 144);
  Label1 = label("Label1", QStringLiteral("追加文字列"), 172);
  edAddString = edit("edAddString", 172);
  radioR2L->setChecked(true);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setGeometry(62, 238, 75, 25);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setGeometry(156, 238, 75, 25);
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlgMirrorBorn::showEvent(QShowEvent* event) {
  LoadMirrorSettings();
  CentreOnScreen(*this);
  QDialog::showEvent(event);
}

void TdlgMirrorBorn::LoadMirrorSettings() {
  std::int32_t pattern = static_cast<std::int32_t>(kDefaultMirrorRule);
  {
    const SettingsStore store;
    pattern = store.ReadInteger(kMirrorSection, QStringLiteral("Pattern"), pattern);
    edAddString->setText(store.ReadString(kMirrorSection, QStringLiteral("AddString"),
                                          QString::fromUtf8(kDefaultMirrorAppend)));
    edRepString->setText(store.ReadString(kMirrorSection, QStringLiteral("RepString"),
                                          QString::fromUtf8(kDefaultMirrorWord)));
    edMBString->setText(store.ReadString(kMirrorSection, QStringLiteral("MBString"),
                                         QString::fromUtf8(kDefaultMirrorReplacement)));
  }
  // An unknown rule number leaves the buttons as they were.
  if (pattern == static_cast<std::int32_t>(MirrorRule::Prefix)) radioR2L->setChecked(true);
  if (pattern == static_cast<std::int32_t>(MirrorRule::Suffix)) radioR2Le->setChecked(true);
  if (pattern == static_cast<std::int32_t>(MirrorRule::Append)) radioAddString->setChecked(true);
}

void TdlgMirrorBorn::StoreMirrorSettings() {
  const MirrorRule rule = radioR2L->isChecked()         ? MirrorRule::Prefix
                          : radioR2Le->isChecked()      ? MirrorRule::Suffix
                          : radioAddString->isChecked() ? MirrorRule::Append
                                                        : MirrorRule::None;
  {
    SettingsStore store;
    store.WriteInteger(kMirrorSection, QStringLiteral("Pattern"), static_cast<std::int32_t>(rule));
    store.WriteString(kMirrorSection, QStringLiteral("RepString"), edRepString->text());
    store.WriteString(kMirrorSection, QStringLiteral("MBString"), edMBString->text());
    store.WriteString(kMirrorSection, QStringLiteral("AddString"), edAddString->text());
  }
  settings_ = MirrorSettings{rule, ToCore(edRepString->text()), ToCore(edMBString->text()),
                             ToCore(edAddString->text())};
}

void TdlgMirrorBorn::OKBtnClick() {
  StoreMirrorSettings();
  accept();
}

}  // namespace zevrin
