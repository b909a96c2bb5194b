// The firmware downloader window's components and their layout.
#include "firmware/qt/UnitNFC_Selector.h"

#include "firmware/qt/FlashWindowHelpers.h"
#include "platform/qt/ui_scale.h"
#include "widgets/controls/qt/meter.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

namespace kyd::firmware {

using namespace detail;

void TFormFlashDownLoader::BuildForm()
{
    const platform::UiScale s = platform::UiScale::For(this);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(s.Y(6));

    // Title bar.
    auto* title = new QWidget(this);
    title->setObjectName("ToolBar1");
    title->setAutoFillBackground(true);
    QPalette tp = title->palette();
    tp.setColor(QPalette::Window, QColor(0, 105, 78));
    tp.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(tp);
    auto* tl = new QHBoxLayout(title);
    tl->setContentsMargins(s.X(8), s.Y(4), s.X(8), s.Y(4));
    auto* image = new QLabel(title);
    image->setObjectName("Image1");
    image->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(s.Y(24), s.Y(24)));
    Label12 = new QLabel(kTitle, title);
    Label12->setObjectName("Label12");
    QFont tf = Label12->font();
    tf.setBold(true);
    tf.setPointSizeF(tf.pointSizeF() * 1.4);
    Label12->setFont(tf);
    tl->addWidget(image);
    tl->addWidget(Label12, 1);
    top->addWidget(title);

    auto* body = new QWidget(this);
    auto* bl = new QGridLayout(body);
    bl->setContentsMargins(s.X(8), 0, s.X(8), 0);
    bl->setHorizontalSpacing(s.X(8));
    bl->setVerticalSpacing(s.Y(6));
    top->addWidget(body, 1);

    // The items.
    GroupBox1 = new QGroupBox("Please Select one or more items for processing", body);
    GroupBox1->setObjectName("GroupBox1");
    auto* g1 = new QGridLayout(GroupBox1);
    g1->setHorizontalSpacing(s.X(8));
    g1->setVerticalSpacing(s.Y(2));
    auto label = [&](const char* name) {
        auto* l = new QLabel(GroupBox1);
        l->setObjectName(name);
        l->setMinimumWidth(s.X(90));
        // The results stay readable while the group is disabled in a run.
        QPalette p = l->palette();
        p.setColor(QPalette::Disabled, QPalette::WindowText, p.color(QPalette::Active, QPalette::WindowText));
        l->setPalette(p);
        return l;
    };
    CMCChkBox = new QCheckBox("CMC", GroupBox1);
    CMCChkBox->setObjectName("CMCChkBox");
    CMCChkBox->setProperty("Tag", 2);
    LabelCMC = label("LabelCMC");
    g1->addWidget(CMCChkBox, 0, 0);
    g1->addWidget(LabelCMC, 0, 1, 1, 2);
    for (int k = 0; k < 8; ++k) {
        NFCChkBox[k] = new QCheckBox(QStringLiteral("NFC %1").arg(k + 1), GroupBox1);
        NFCChkBox[k]->setObjectName(QStringLiteral("NFC%1ChkBox").arg(k + 1));
        NFCChkBox[k]->setProperty("Tag", 1);
        LabelNFC[k] = label(QStringLiteral("LabelNFC%1").arg(k + 1).toLatin1().constData());
        LabelNFC[k]->setProperty("Tag", 11 + k);
        g1->addWidget(NFCChkBox[k], 1 + k, 0);
        g1->addWidget(LabelNFC[k], 1 + k, 1, 1, 2);
        connect(NFCChkBox[k], &QCheckBox::clicked, this,
                Guard("NFC box", [this] { AfterTick([this] { NFC1ChkBoxClick(); }); }));
    }
    CheckBoxJumper = new QCheckBox("NFC selected by jumper", GroupBox1);
    CheckBoxJumper->setObjectName("CheckBoxJumper");
    CheckBoxJumper->setToolTip("Put the jumper on the NFC board to be flashed before the power is switched on");
    LabelJumper = label("LabelJumper");
    g1->addWidget(CheckBoxJumper, 9, 0, 1, 2);
    g1->addWidget(LabelJumper, 9, 2);
    ButtonSelectAll = new QPushButton("Select all NFC", GroupBox1);
    ButtonSelectAll->setObjectName("ButtonSelectAll");
    g1->addWidget(ButtonSelectAll, 10, 0, 1, 3, Qt::AlignLeft);
    g1->setColumnStretch(2, 1);
    connect(CMCChkBox, &QCheckBox::clicked, this,
            Guard("CMC box", [this] { AfterTick([this] { CMCChkBoxClick(); }); }));
    connect(CheckBoxJumper, &QCheckBox::clicked, this,
            Guard("jumper box", [this] { AfterTick([this] { CheckBoxJumperClick(); }); }));
    connect(ButtonSelectAll, &QPushButton::clicked, this,
            Guard("select all", [this] { AfterTick([this] { ButtonSelectAllClick(); }); }));
    bl->addWidget(GroupBox1, 0, 0, 2, 1);

    // The action.
    GroupBox2 = new QGroupBox("Please select appropriate action", body);
    GroupBox2->setObjectName("GroupBox2");
    auto* g2 = new QVBoxLayout(GroupBox2);
    g2->setSpacing(s.Y(2));
    auto radio = [&](const char* name, const char* text) {
        auto* r = new QRadioButton(text, GroupBox2);
        r->setObjectName(name);
        g2->addWidget(r);
        return r;
    };
    RadioButtonEraseDownLoad = radio("RadioButtonEraseDownLoad", "Erase->Download");
    RadioButtonEraseDownLoadVerify = radio("RadioButtonEraseDownLoadVerify", "Erase->Download->Verify");
    RadioButtonDownLoadVerify = radio("RadioButtonDownLoadVerify", "Download->Verify");
    RadioButtonVerifyOnly = radio("RadioButtonVerifyOnly", "Verify only");
    bl->addWidget(GroupBox2, 0, 1);

    Memo1 = new QPlainTextEdit(body);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    bl->addWidget(Memo1, 1, 1);
    bl->setColumnStretch(1, 1);
    bl->setRowStretch(1, 1);

    // Progress.
    LabelProgress = new QLabel(body);
    LabelProgress->setObjectName("LabelProgress");
    QFont pf("Arial");
    pf.setBold(true);
    LabelProgress->setFont(pf);
    LabelProgress->setMinimumHeight(QFontMetrics(pf).height());
    bl->addWidget(LabelProgress, 2, 0, 1, 2);
    ProgressBar = new widgets::TDUDProgress(body);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->SetStyle(widgets::TDUDProgressStyle::pgBar);
    ProgressBar->SetBarColor(kBarColorNormal);
    ProgressBar->Bevel().SetMode(widgets::TDUDBevelMode::bmCustom);
    ProgressBar->Bevel().SetStyleOuter(widgets::TDUDBevelStyle::bvLowered);
    ProgressBar->SmallBar().SetBarCount(50);
    ProgressBar->SmallBar().SetHSpace(2);
    ProgressBar->SmallBar().SetVSpace(2);
    ProgressBar->SetBounds(0, 0, s.X(600), s.Y(20));
    ProgressBar->setMinimumSize(s.X(200), s.Y(20));
    ProgressBar->setMaximumHeight(s.Y(20));
    ProgressBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    bl->addWidget(ProgressBar, 3, 0, 1, 2);

    // The file.
    auto* fileRow = new QHBoxLayout;
    LabelFileName = new QLabel("File Name:", body);
    LabelFileName->setObjectName("LabelFileName");
    FileNameEdit = new QLineEdit(body);
    FileNameEdit->setObjectName("FileNameEdit");
    Button4 = new QPushButton("...", body);
    Button4->setObjectName("Button4");
    Button4->setFixedWidth(s.X(30));
    fileRow->addWidget(LabelFileName);
    fileRow->addWidget(FileNameEdit, 1);
    fileRow->addWidget(Button4);
    bl->addLayout(fileRow, 4, 0, 1, 2);
    connect(Button4, &QPushButton::clicked, this, Guard("file", [this] { Button4Click(); }));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Button3 = new QPushButton("Start", body);
    Button3->setObjectName("Button3");
    Button1 = new QPushButton("Close", body);
    Button1->setObjectName("Button1");
    for (QPushButton* b : {Button3, Button1}) {
        b->setMinimumWidth(s.X(75));
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    bl->addLayout(buttons, 5, 0, 1, 2);
    connect(Button3, &QPushButton::clicked, this, Guard("start", [this] { AfterTick([this] { Button3Click(); }); }));
    connect(Button1, &QPushButton::clicked, this, Guard("close", [this] { AfterTick([this] { Button1Click(); }); }));

    auto* bar = new QStatusBar(this);
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    const int widths[3] = {200, 200, 50};
    for (int i = 0; i < 3; ++i) {
        StatusBar1[i] = new QLabel(bar);
        StatusBar1[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusBar1[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1[i]->setTextFormat(Qt::PlainText);
        StatusBar1[i]->setMinimumWidth(s.X(widths[i]));
        bar->addWidget(StatusBar1[i], i == 2 ? 1 : 0);
    }
    top->addWidget(bar);

    setMinimumSize(s.Size({617, 429}).expandedTo(minimumSizeHint()));
    resize(s.Size({626, 436}).expandedTo(minimumSize()));
}

} // namespace kyd::firmware
