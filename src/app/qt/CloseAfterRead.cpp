#include "app/qt/CloseAfterRead.h"

namespace kyd::app {

void CloseAfterReadDialog::done(int r)
{
    if (StopForClose()) {
        closeHeld_ = true;
        heldResult_ = r;
        return;
    }
    QDialog::done(r);
}

void CloseAfterReadDialog::ReadEnded()
{
    if (!closeHeld_)
        return;
    closeHeld_ = false;
    QDialog::done(heldResult_);
}

} // namespace kyd::app
