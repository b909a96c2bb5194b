#include "widgets/framework/object.h"

namespace kyd::widgets {

void TDUDChangeProtocol::EndUpdate(bool notify)
{
    if (updating_ > 0)
        --updating_;
    if (notify)
        Change();
}

void TDUDChangeProtocol::Change()
{
    if (OnChange && updating_ == 0)
        OnChange(this);
}

} // namespace kyd::widgets
