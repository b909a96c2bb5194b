#include "widgets/framework/image_list_link.h"

#include <algorithm>

namespace kyd::widgets {

TDUDChangeLink::~TDUDChangeLink()
{
    if (sender_)
        sender_->UnRegisterChanges(this);
}

TDUDBaseContainer::~TDUDBaseContainer()
{
    // A handler may unregister other links; work on a copy.
    const auto links = links_;
    links_.clear();
    for (TDUDChangeLink* link : links) {
        link->sender_ = nullptr;
        if (link->OnRemoved)
            link->OnRemoved();
    }
}

void TDUDBaseContainer::RegisterChanges(TDUDChangeLink* link)
{
    if (!link || link->sender_ == this)
        return;
    if (link->sender_)
        link->sender_->UnRegisterChanges(link);
    link->sender_ = this;
    links_.push_back(link);
}

void TDUDBaseContainer::UnRegisterChanges(TDUDChangeLink* link)
{
    auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end())
        return;
    links_.erase(it);
    link->sender_ = nullptr;
}

void TDUDBaseContainer::Change()
{
    if (Updating())
        return;
    const auto links = links_;
    for (TDUDChangeLink* link : links)
        link->Change();
    TDUDCustomComponent::Change();
}

} // namespace kyd::widgets
