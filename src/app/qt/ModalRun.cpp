#include "app/qt/ModalRun.h"

#include <QDialog>

namespace kyd::app {

namespace {
ModalHandler& Handler()
{
    static ModalHandler handler;
    return handler;
}
} // namespace

int ExecModal(QDialog& dialog)
{
    if (Handler())
        return Handler()(dialog);
    return dialog.exec();
}

ModalHandler SetModalHandler(ModalHandler handler)
{
    ModalHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

} // namespace kyd::app
