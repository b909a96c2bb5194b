#include "app/qt/TransDlg.h"

#include "app/qt/Latin1.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace kyd::app {

// The runner's timer on a QTimer.
class TFormTransaction::Timer final : public RunnerTimer {
public:
    explicit Timer(QTimer* t) : t_(t) {}
    void Start() override { t_->start(); }
    void Stop() override { t_->stop(); }
    void SetInterval(int ms) override { t_->setInterval(ms); }
    int Interval() const override { return t_->interval(); }
    bool Active() const override { return t_->isActive(); }

private:
    QTimer* t_;
};

TFormTransaction::TFormTransaction(QWidget* owner, link::TPLVRCmdF* cmd) : CloseAfterReadDialog(owner)
{
    setObjectName("FormTransaction");
    setWindowTitle("Transactions");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const platform::UiScale scale = platform::UiScale::For(this);

    auto panel = [this](const char* caption) {
        auto* f = new QFrame(this);
        f->setFrameStyle(QFrame::Panel | QFrame::Raised);
        auto* row = new QHBoxLayout(f);
        row->addWidget(new QLabel(caption, f));
        return std::pair{f, row};
    };
    auto label = [](QWidget* parent, const char* name, const char* text) {
        auto* l = new QLabel(text, parent);
        l->setObjectName(name);
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    auto [transPanel, transRow] = panel("Transaction:");
    LabelTransNr = label(transPanel, "LabelTransNr", "1");
    LabelRequested = label(transPanel, "LabelRequested", "1");
    transRow->addWidget(LabelTransNr);
    transRow->addWidget(new QLabel("of", transPanel));
    transRow->addWidget(LabelRequested);
    transRow->addStretch(1);
    auto [statusPanel, statusRow] = panel("Status:");
    LabelStatus = label(statusPanel, "LabelStatus", "");
    // Room for the longest status (a run's end with its failed transactions).
    LabelStatus->setMinimumWidth(
        std::max(scale.X(80), LabelStatus->fontMetrics().horizontalAdvance("Aborted, 9999 of 9999 failed")));
    statusRow->addWidget(LabelStatus);
    statusRow->addStretch(1);

    ButtonAbortTrans = new QPushButton("Abort", this);
    ButtonAbortTrans->setObjectName("ButtonAbortTrans");
    ButtonAbortTrans->setMinimumWidth(scale.X(75));
    ButtonAbortTrans->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(transPanel);
    layout->addWidget(statusPanel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonAbortTrans);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(scale.X(200));

    TimerTransDelay = new QTimer(this);
    TimerTransDelay->setObjectName("TimerTransDelay");
    timer_ = std::make_unique<Timer>(TimerTransDelay);
    runner_ = std::make_unique<TransactionRunner>(cmd, *timer_);
    runner_->Changed = [this] { ShowState(); };
    connect(TimerTransDelay, &QTimer::timeout, this,
            [this] { platform::guarded("transactions", [this] { TimerTransDelayTimer(); }); });
    connect(ButtonAbortTrans, &QPushButton::clicked, this,
            [this] { platform::guarded("transactions", [this] { ButtonAbortTransClick(); }); });
}

TFormTransaction::~TFormTransaction()
{
    TimerTransDelay->stop();
}

void TFormTransaction::Setup(const TransactionSetup& setup)
{
    runner_->Setup(setup);
    LabelRequested->setText(QString::number(setup.Count));
    LabelTransNr->setText("1");
}

void TFormTransaction::ShowState()
{
    LabelTransNr->setText(QString::number(runner_->TransNr()));
    LabelStatus->setText(Latin1(runner_->Status()));
    ButtonAbortTrans->setText(Latin1(runner_->ButtonCaption()));
}

void TFormTransaction::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        runner_->Start(); // the first showing only
}

void TFormTransaction::TimerTransDelayTimer()
{
    runner_->Tick();
    if (!runner_->InTick())
        ReadEnded();
}

void TFormTransaction::ButtonAbortTransClick()
{
    if (runner_->AbortClick())
        done(QDialog::Accepted);
}

bool TFormTransaction::StopForClose()
{
    if (runner_->Finished())
        return false;
    runner_->AbortClick();
    // The exchange under way ends first; the tick that runs it closes the
    // window afterwards. Between ticks the run ends at once.
    if (runner_->InTick())
        return true;
    TimerTransDelay->stop();
    return false;
}

} // namespace kyd::app
