#include "widgets/services/qt/cursors.h"

#include "widgets/services/application.h"

#include <QPixmap>
#include <QString>

#include <map>
#include <mutex>

namespace kyd::widgets {

namespace {

std::mutex gMutex;
std::map<int, QCursor> gInstalled;

std::optional<Qt::CursorShape> StandardShape(int id)
{
    switch (id) {
    case 0: return Qt::ArrowCursor;       // crDefault
    case -2: return Qt::ArrowCursor;      // crArrow
    case -3: return Qt::CrossCursor;      // crCross
    case -4: return Qt::IBeamCursor;      // crIBeam
    case -5: return Qt::SizeAllCursor;    // crSize
    case -6: return Qt::SizeBDiagCursor;  // crSizeNESW
    case -7: return Qt::SizeVerCursor;    // crSizeNS
    case -8: return Qt::SizeFDiagCursor;  // crSizeNWSE
    case -9: return Qt::SizeHorCursor;    // crSizeWE
    case -10: return Qt::UpArrowCursor;   // crUpArrow
    case -11: return Qt::WaitCursor;      // crHourGlass
    case -12: return Qt::DragCopyCursor;  // crDrag
    case -13: return Qt::ForbiddenCursor; // crNoDrop
    case -14: return Qt::SplitVCursor;    // crHSplit
    case -15: return Qt::SplitHCursor;    // crVSplit
    case -16: return Qt::DragCopyCursor;  // crMultiDrag
    case -17: return Qt::BusyCursor;      // crSQLWait
    case -18: return Qt::ForbiddenCursor; // crNo
    case -19: return Qt::BusyCursor;      // crAppStart
    case -20: return Qt::WhatsThisCursor; // crHelp
    case -21: return Qt::PointingHandCursor; // crHandPoint
    case -22: return Qt::SizeAllCursor;   // crSizeAll
    default: return std::nullopt;
    }
}

} // namespace

QCursor DUDScreenCursor(int id)
{
    {
        std::lock_guard<std::mutex> g(gMutex);
        if (auto it = gInstalled.find(id); it != gInstalled.end())
            return it->second;
    }
    if (id == -1) // crNone
        return QCursor(Qt::BlankCursor);
    return QCursor(StandardShape(id).value_or(Qt::ArrowCursor));
}

void DUDSetScreenCursor(int id, std::optional<QCursor> cursor)
{
    std::lock_guard<std::mutex> g(gMutex);
    if (cursor)
        gInstalled[id] = *cursor;
    else
        gInstalled.erase(id);
}

std::optional<QCursor> DUDLoadCursorResource(int resource)
{
    QPixmap picture;
    if (!picture.load(QStringLiteral(":/cursors/%1.png").arg(resource)))
        return std::nullopt;
    return QCursor(picture);
}

void DUDInstallQtCursors()
{
    DUDSetCursorInstaller([](int resource, int screenCursor) {
        if (auto cursor = DUDLoadCursorResource(resource))
            DUDSetScreenCursor(screenCursor, std::move(cursor));
    });
}

} // namespace kyd::widgets
