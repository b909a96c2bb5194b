// What the tests of stray clicks share: working each modal box or dialog as
// it is shown, and a run of two dispenses ready to start.
#pragma once

#include "app/qt/PLVRMain.h"
#include "app/qt/TransPage.h"
#include "sim/simulator.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QPointer>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

namespace kyd::app::test {

// Works each modal box or dialog once it is shown.
class OnModalShown final : public QObject {
public:
    explicit OnModalShown(std::function<void(QWidget&)> work) : work_(std::move(work))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() != QEvent::Show || !o->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(o);
        if (w->isWindow() && w->isModal()) {
            QPointer<QWidget> box(w);
            QTimer::singleShot(0, w, [this, box] {
                if (box)
                    work_(*box);
            });
        }
        return false;
    }

private:
    std::function<void(QWidget&)> work_;
};

// The Transactions page set for two dispenses of one note with the removal
// wait; the cassettes open, the notes taken half a second after each bundle.
inline TTransPage& TwoDispensesReady(sim::Simulator& simulator, TPLVRMainF& main)
{
    simulator.withCore([](sim::SimCore& c) {
        c.config().takeNotesAfterMs = 500;
        c.execute("8");
    });
    TTransPage& page = *main.TransPage;
    main.TcdTransOptions->TransCmdDispense->click();
    page.CSpinEditNF[0]->setValue(1);
    page.CSpinEditNoOfTrans->setValue(2);
    page.AutoChkThroatCheckBox->setChecked(true);
    return page;
}

} // namespace kyd::app::test
