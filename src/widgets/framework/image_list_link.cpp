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
    // One link at a time off the live list: a handler may destroy or
    // unregister links still waiting, which then leave the list themselves.
    while (!links_.empty()) {
        TDUDChangeLink* link = links_.front();
        links_.erase(links_.begin());
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
    // A change being told walks the live list: keep its place.
    const auto at = static_cast<std::size_t>(it - links_.begin());
    for (Telling* t = telling_; t; t = t->outer) {
        if (at < t->next)
            --t->next;
        if (at < t->end)
            --t->end;
    }
    links_.erase(it);
    link->sender_ = nullptr;
}

void TDUDBaseContainer::Change()
{
    if (Updating())
        return;
    // The links registered when the change began, walked on the live list:
    // a handler may destroy or unregister links still waiting (they leave
    // the list and are skipped) or register new ones (told from the next
    // change on).
    Telling t{0, links_.size(), telling_};
    telling_ = &t;
    struct Restore {
        Telling*& telling;
        Telling* outer;
        ~Restore() { telling = outer; }
    } restore{telling_, t.outer};
    while (t.next < t.end)
        links_[t.next++]->Change();
    TDUDCustomComponent::Change();
}

} // namespace kyd::widgets
