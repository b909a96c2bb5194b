#include "app/qt/SendSelfTestDlg.h"
#include "app/qt/FitColumns.h"

#include "app/qt/Guard.h"
#include "app/qt/Latin1.h"
#include "app/qt/ModalRun.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kyd::app {

namespace {

constexpr int kNQPage = 0;
constexpr int kFeedersPage = 1;
constexpr int kSPPage = 2;
constexpr int kNTPage = 3;
constexpr int kNoSelector = -2;
constexpr int kPageFramePx = 24; // a tab page's frame and margins around its list

} // namespace

TSendSelfDlg::TSendSelfDlg(QWidget* owner, link::TPLVRCmdF* cmd) : CloseAfterReadDialog(owner), cmd_(cmd)
{
    setObjectName("SendSelfDlg");
    setWindowTitle("Send Self Test Data");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const auto scale = platform::UiScale::For(this);
    MakeIcons();

    PageControlSendSelfTestData = new QTabWidget(this);
    PageControlSendSelfTestData->setObjectName("PageControlSendSelfTestData");
    auto page = [this](const char* name, const char* caption) {
        auto* w = new QWidget(PageControlSendSelfTestData);
        w->setObjectName(name);
        PageControlSendSelfTestData->addTab(w, caption);
        return w;
    };
    TabSheetNQ = page("TabSheetNQ", "Note Qualifier");
    TabSheetFeeders = page("TabSheetFeeders", "Feeders");
    TabSheetSP = page("TabSheetSP", "Stack Presenter");
    TabSheetNT = page("TabSheetNT", "Note Transport");
    BuildNoteQualifier();
    BuildFeeders();
    ListViewSSTDSP = NewSensorList(TabSheetSP, "ListViewSSTDSP", sp_.Rows);
    (new QVBoxLayout(TabSheetSP))->addWidget(ListViewSSTDSP);
    ListViewSSTDNT = NewSensorList(TabSheetNT, "ListViewSSTDNT", nt_.Rows);
    auto* ntLayout = new QVBoxLayout(TabSheetNT);
    ntLayout->addWidget(ListViewSSTDNT);

    OKBtn = new QPushButton("Close", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    SendCmdBtn = new QPushButton("Read", this);
    SendCmdBtn->setObjectName("SendCmdBtn");
    CheckBoxContinue = new QCheckBox("Continuous read", this);
    CheckBoxContinue->setObjectName("CheckBoxContinue");
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kIntervalMs);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(SendCmdBtn, &QPushButton::clicked, this, Guard("self test", [this] { SendCmdBtnClick(); }));
    connect(Timer1, &QTimer::timeout, this, Guard("self test", [this] { Timer1Timer(); }));
    connect(CheckBoxContinue, &QCheckBox::toggled, this, Guard("self test", [this] { CheckBoxContinueClick(); }));
    connect(PageControlSendSelfTestData, &QTabWidget::currentChanged, this, [this](int index) {
        platform::guarded("self test", [this, index] {
            const int leaving = currentPage_;
            currentPage_ = index;
            PageControlSendSelfTestDataChanging(leaving);
            if (index == kFeedersPage)
                TabSheetFeedersShow();
            PageControlSendSelfTestDataChange();
        });
    });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CheckBoxContinue);
    bottom->addStretch();
    bottom->addWidget(SendCmdBtn);
    bottom->addWidget(OKBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControlSendSelfTestData, 1);
    layout->addLayout(bottom);
    resize(scale.Size({470, 420}));
    // Wide enough for every sensor list's columns, inside the page's frame.
    for (QTreeWidget* list : {ListViewSSTDFeed, ListViewSSTDSP, ListViewSSTDNT, ListViewNQSensor}) {
        int columns = 0;
        for (int c = 0; c < list->columnCount(); ++c)
            columns += list->columnWidth(c);
        WidenToShowColumns(this, list, columns + scale.X(kPageFramePx));
    }
}

void TSendSelfDlg::MakeIcons()
{
    // Five small pictures, one per state: a green disc (not obstructed), a
    // blue square (obstructed), a red disc with a cross (error), a yellow
    // triangle with a bar (warning) and a grey ring (not present).
    const int size = platform::UiScale::For(this).Y(14);
    for (int state = 0; state < 5; ++state) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(1.5, 1.5, size - 3, size - 3);
        p.setPen(QPen(QColor(40, 40, 40), 1));
        switch (state) {
        case 0:
            p.setBrush(QColor(40, 170, 60));
            p.drawEllipse(r);
            break;
        case 1:
            p.setBrush(QColor(30, 80, 200));
            p.drawRect(r.adjusted(1, 1, -1, -1));
            break;
        case 2:
            p.setBrush(QColor(210, 30, 30));
            p.drawEllipse(r);
            p.setPen(QPen(Qt::white, std::max(1.5, size / 8.0)));
            p.drawLine(r.center() + QPointF(-size / 5.0, -size / 5.0), r.center() + QPointF(size / 5.0, size / 5.0));
            p.drawLine(r.center() + QPointF(-size / 5.0, size / 5.0), r.center() + QPointF(size / 5.0, -size / 5.0));
            break;
        case 3: {
            QPainterPath tri;
            tri.moveTo(r.center().x(), r.top());
            tri.lineTo(r.right(), r.bottom());
            tri.lineTo(r.left(), r.bottom());
            tri.closeSubpath();
            p.setBrush(QColor(240, 200, 20));
            p.drawPath(tri);
            p.setPen(QPen(Qt::black, std::max(1.5, size / 9.0)));
            p.drawLine(QPointF(r.center().x(), r.top() + size * 0.35), QPointF(r.center().x(), r.bottom() - size * 0.3));
            break;
        }
        default:
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(140, 140, 140), std::max(1.5, size / 8.0)));
            p.drawEllipse(r.adjusted(1, 1, -1, -1));
            break;
        }
        p.end();
        icons_[static_cast<std::size_t>(state)] = QIcon(pm);
    }
}

QIcon TSendSelfDlg::StateIcon(int state) const
{
    return state >= 0 && state < 5 ? icons_[static_cast<std::size_t>(state)] : QIcon();
}

QTreeWidget* TSendSelfDlg::NewSensorList(QWidget* parent, const char* name, const std::vector<SensorRow>& rows)
{
    const auto scale = platform::UiScale::For(this);
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHeaderLabels({"Sensor", "State", "Calibration", ""});
    list->setIconSize(QSize(scale.Y(14), scale.Y(14)));
    // Rows keep their height whether they show a state picture or not.
    const int rowHeight = std::max(list->iconSize().height(), list->fontMetrics().height()) + scale.Y(3);
    for (const SensorRow& r : rows) {
        auto* item = new QTreeWidgetItem(list, {Latin1(r.Caption), {}, {}, Latin1(r.Range)});
        item->setSizeHint(0, QSize(0, rowHeight));
    }
    // The widest sensor name sets the first column, the widest range text
    // (the feeders' long form included) the fourth; measured on the texts,
    // since a list not yet shown measures none of its rows.
    const QFont font = list->font();
    int names = 0;
    int ranges = platform::UiScale::TextWidth(font, "(0-15)");
    for (const SensorRow& r : rows) {
        names = std::max(names, platform::UiScale::TextWidth(font, Latin1(r.Caption)));
        ranges = std::max(ranges, platform::UiScale::TextWidth(font, Latin1(r.Range)));
    }
    const int pad = scale.X(14);
    list->setColumnWidth(0, std::max(scale.X(150), names + pad));
    list->setColumnWidth(1, scale.X(130));
    list->setColumnWidth(2, std::max(scale.X(60), list->header()->sectionSizeHint(2)));
    list->setColumnWidth(3, ranges + pad);
    list->header()->setStretchLastSection(false);
    return list;
}

void TSendSelfDlg::BuildNoteQualifier()
{
    const auto scale = platform::UiScale::For(this);
    HeaderControlNQ = new QWidget(TabSheetNQ);
    HeaderControlNQ->setObjectName("HeaderControlNQ");
    auto* h = new QHBoxLayout(HeaderControlNQ);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    headerSpacer_ = new QLabel(HeaderControlNQ);
    sensorA_ = new QLabel("Sensor A", HeaderControlNQ);
    sensorB_ = new QLabel("Sensor B", HeaderControlNQ);
    for (QLabel* l : {headerSpacer_, sensorA_, sensorB_}) {
        l->setAlignment(Qt::AlignCenter);
        l->setFrameStyle(QFrame::Panel | QFrame::Raised);
        h->addWidget(l);
    }
    h->addStretch();

    ListViewSSTDNQ = new QTreeWidget(TabSheetNQ);
    ListViewSSTDNQ->setObjectName("ListViewSSTDNQ");
    ListViewSSTDNQ->setRootIsDecorated(false);
    ListViewSSTDNQ->setHeaderLabels({"Denomination", "offset", "gain", "thickness", "offset", "gain", "thickness"});
    ListViewSSTDNQ->header()->setStretchLastSection(false);
    ListViewSSTDNQ->setColumnWidth(0, scale.X(100));
    for (int c = 1; c < 7; ++c)
        ListViewSSTDNQ->setColumnWidth(c, std::max(scale.X(45), ListViewSSTDNQ->header()->sectionSizeHint(c)));
    connect(ListViewSSTDNQ->header(), &QHeaderView::sectionResized, this, [this] { PlaceHeaderGroups(); });

    ListViewNQSensor = NewSensorList(TabSheetNQ, "ListViewNQSensor", {nq_.Clock});
    // As high as its one row needs.
    ListViewNQSensor->setFixedHeight(ListViewNQSensor->header()->sizeHint().height() +
                                     ListViewNQSensor->sizeHintForRow(0) + 2 * ListViewNQSensor->frameWidth() +
                                     scale.Y(4));

    auto* v = new QVBoxLayout(TabSheetNQ);
    v->setSpacing(0);
    v->addWidget(HeaderControlNQ);
    v->addWidget(ListViewSSTDNQ, 1);
    v->addSpacing(scale.Y(6));
    v->addWidget(ListViewNQSensor);
    PlaceHeaderGroups();
}

void TSendSelfDlg::PlaceHeaderGroups()
{
    // "Sensor A" spans the first three value columns, "Sensor B" the last
    // three.
    const QHeaderView* hv = ListViewSSTDNQ->header();
    headerSpacer_->setFixedWidth(hv->sectionSize(0) + ListViewSSTDNQ->frameWidth());
    sensorA_->setFixedWidth(hv->sectionSize(1) + hv->sectionSize(2) + hv->sectionSize(3));
    sensorB_->setFixedWidth(hv->sectionSize(4) + hv->sectionSize(5) + hv->sectionSize(6));
}

void TSendSelfDlg::BuildFeeders()
{
    const auto scale = platform::UiScale::For(this);
    TabControlFeeder = new QWidget(TabSheetFeeders);
    TabControlFeeder->setObjectName("TabControlFeeder");
    auto* tabs = new QHBoxLayout(TabControlFeeder);
    tabs->setContentsMargins(0, 0, 0, 0);
    tabs->setSpacing(scale.X(2));
    FeederButtons = new QButtonGroup(this);
    FeederButtons->setExclusive(true);
    for (int n = 1; n <= 8; ++n) {
        auto* b = new QPushButton(QString("NF %1").arg(n), TabControlFeeder);
        b->setObjectName(QString("FeederTab%1").arg(n));
        b->setCheckable(true);
        b->setMinimumWidth(std::max(scale.X(40), b->fontMetrics().horizontalAdvance(b->text()) + scale.X(12)));
        FeederButtons->addButton(b, n);
        tabs->addWidget(b);
    }
    tabs->addStretch();
    // A feeder being selected is what counts, however it was selected.
    connect(FeederButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            platform::guarded("self test", [this] { TabControlFeederChange(); });
    });

    ListViewSSTDFeed = NewSensorList(TabSheetFeeders, "ListViewSSTDFeed", feeder_.Rows);

    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(text, TabSheetFeeders);
        if (name)
            l->setObjectName(name);
        return l;
    };
    LabelDenom = label("LabelDenom", "");
    LabelNSVert = label("LabelNSVert", "");
    LabelNSHorz = label("LabelNSHorz", "");
    auto* info = new QHBoxLayout;
    info->addWidget(label(nullptr, "Denomination:"));
    info->addWidget(LabelDenom);
    info->addSpacing(scale.X(24));
    info->addWidget(label(nullptr, "Size: "));
    info->addWidget(LabelNSVert);
    info->addWidget(label(nullptr, "x"));
    info->addWidget(LabelNSHorz);
    info->addStretch();

    auto* v = new QVBoxLayout(TabSheetFeeders);
    v->addWidget(TabControlFeeder);
    v->addWidget(ListViewSSTDFeed, 1);
    v->addLayout(info);
}

int TSendSelfDlg::Feeder() const
{
    const int id = FeederButtons->checkedId();
    return id < 1 ? 0 : id;
}

void TSendSelfDlg::SelectFeeder(int feeder)
{
    if (feeder >= 1 && feeder <= 8) {
        FeederButtons->button(feeder)->setChecked(true);
        return;
    }
    // An exclusive group keeps one button down; let go of it for a moment.
    FeederButtons->setExclusive(false);
    for (QAbstractButton* b : FeederButtons->buttons())
        b->setChecked(false);
    FeederButtons->setExclusive(true);
}

int TSendSelfDlg::CurrentSelector() const
{
    switch (PageControlSendSelfTestData->currentIndex()) {
    case kNQPage: return -1;
    case kFeedersPage: return Feeder() == 0 ? kNoSelector : Feeder();
    case kSPPage: return 0;
    case kNTPage: return 9;
    default: return kNoSelector;
    }
}

void TSendSelfDlg::UpdateReadButton()
{
    // Nothing to read on the Feeders page before a feeder is chosen.
    SendCmdBtn->setEnabled(!CheckBoxContinue->isChecked() && CurrentSelector() != kNoSelector);
}

void TSendSelfDlg::StopContinuous()
{
    Timer1->stop();
    CheckBoxContinue->setChecked(false); // runs CheckBoxContinueClick
}

void TSendSelfDlg::SendCmdBtnClick()
{
    if (reading_ || !cmd_)
        return; // a tick while a read runs is dropped
    const int selector = CurrentSelector();
    if (selector == kNoSelector)
        return;
    reading_ = true;
    readCancelled_ = false;
    struct EndOfRead {
        TSendSelfDlg* dlg;
        ~EndOfRead()
        {
            dlg->reading_ = false;
            dlg->ReadEnded();
        }
    } end{this};

    bool read = false;
    try {
        read = cmd_->SendSelfTestData(selector);
    } catch (...) {
        // The port went away: a failed read too, so the series stops before
        // the error is shown, not every tick again.
        StopContinuous();
        throw;
    }
    if (read) {
        // Into the page the command was for; a feeder deselected or changed
        // meanwhile is read again by its own read.
        if (selector < 1 || selector > 8 || Feeder() == selector)
            ShowSelfTestData(selector, cmd_->Model()->SelfTestData);
        return;
    }
    StopContinuous();
    if (CloseHeld() || readCancelled_)
        return; // cancelled by closing the window or stopping the series
    if (cmd_->Model()->StatusCode == '8' && selector >= 1 && selector <= 8) {
        // Not fitted: the page shows nothing for it.
        BlankFeeder(feeder_);
        ShowFeeder();
        return;
    }
    platform::dialogs().messageDlg(cmd_->Model()->CodeText, platform::DlgType::Error, platform::DlgButtons::Ok);
}

void TSendSelfDlg::Timer1Timer()
{
    SendCmdBtnClick();
}

void TSendSelfDlg::CheckBoxContinueClick()
{
    if (CheckBoxContinue->isChecked()) {
        Timer1->start();
    } else {
        Timer1->stop();
        // The operator stops the series: the read under way is cancelled at
        // once instead of running into its time-out.
        if (reading_ && cmd_ && cmd_->Busy()) {
            readCancelled_ = true;
            cmd_->Abort();
        }
    }
    UpdateReadButton();
}

void TSendSelfDlg::TabSheetFeedersShow()
{
    SelectFeeder(0);
    CheckBoxContinue->setChecked(false);
    UpdateReadButton();
}

void TSendSelfDlg::TabControlFeederChange()
{
    if (CheckBoxContinue->isChecked())
        return; // the next tick reads the feeder now selected
    UpdateReadButton();
    SendCmdBtnClick();
}

void TSendSelfDlg::PageControlSendSelfTestDataChanging(int leaving)
{
    if (leaving == kFeedersPage)
        UpdateReadButton();
}

void TSendSelfDlg::PageControlSendSelfTestDataChange()
{
    UpdateReadButton();
    const int page = PageControlSendSelfTestData->currentIndex();
    // These pages read themselves the first time they are shown.
    if ((page == kSPPage && sp_.Rows.front().Image == kNoImage) ||
        (page == kNTPage && nt_.Rows.front().Image == kNoImage))
        SendCmdBtnClick();
}

void TSendSelfDlg::ShowSelfTestData(int selector, const std::string& payload)
{
    if (selector == -1) {
        DecodeNoteQualifier(payload, nq_);
        ShowNoteQualifier();
    } else if (selector >= 1 && selector <= 8) {
        DecodeFeeder(payload, feeder_);
        ShowFeeder();
    } else if (selector == 0) {
        DecodeStackPresenter(payload, sp_);
        ShowRows(ListViewSSTDSP, sp_.Rows);
    } else if (selector == 9) {
        DecodeNoteTransport(payload, nt_);
        ShowRows(ListViewSSTDNT, nt_.Rows);
    }
}

void TSendSelfDlg::ShowRow(QTreeWidgetItem* item, const SensorRow& row)
{
    item->setText(0, Latin1(row.Caption));
    item->setText(1, Latin1(row.State));
    item->setIcon(1, StateIcon(row.Image));
    item->setData(1, Qt::UserRole, row.Image);
    item->setText(2, Latin1(row.Calibration));
    item->setText(3, Latin1(row.Range));
}

void TSendSelfDlg::ShowRows(QTreeWidget* list, const std::vector<SensorRow>& rows)
{
    for (int i = 0; i < list->topLevelItemCount() && i < static_cast<int>(rows.size()); ++i)
        ShowRow(list->topLevelItem(i), rows[static_cast<std::size_t>(i)]);
}

void TSendSelfDlg::ShowNoteQualifier()
{
    ShowRows(ListViewNQSensor, {nq_.Clock});
    ListViewSSTDNQ->clear();
    for (const DenominationRow& d : nq_.Denominations) {
        QStringList cells{Latin1(d.Caption)};
        for (const std::string& v : d.Values)
            cells << Latin1(v);
        new QTreeWidgetItem(ListViewSSTDNQ, cells);
    }
}

void TSendSelfDlg::ShowFeeder()
{
    ShowRows(ListViewSSTDFeed, feeder_.Rows);
    LabelDenom->setText(Latin1(feeder_.Denomination));
    LabelNSVert->setText(Latin1(feeder_.Vertical));
    LabelNSHorz->setText(Latin1(feeder_.Horizontal));
}

void TSendSelfDlg::hideEvent(QHideEvent* e)
{
    // No reads behind a window that is not shown.
    StopContinuous();
    QDialog::hideEvent(e);
}

bool TSendSelfDlg::StopForClose()
{
    if (!reading_)
        return false;
    StopContinuous();
    if (cmd_ && cmd_->Busy())
        cmd_->Abort();
    return true;
}

void ShowSelfTestWindow(QWidget* owner, link::TPLVRCmdF& cmd)
{
    if (!cmd.SendSelfTestData(-1))
        return;
    TSendSelfDlg window(owner, &cmd);
    window.ShowSelfTestData(-1, cmd.Model()->SelfTestData);
    ExecModal(window);
}

} // namespace kyd::app
