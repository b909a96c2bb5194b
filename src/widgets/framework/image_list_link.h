// Change links between a container (an image list, a string list...) and the
// controls that use it: a control registers a link; the container tells every
// link when its items change and when it goes away, so that no control keeps
// a dangling container.
#pragma once

#include "widgets/framework/object.h"

#include <functional>
#include <vector>

namespace kyd::widgets {

class TDUDBaseContainer;

class TDUDChangeLink {
public:
    TDUDChangeLink() = default;
    ~TDUDChangeLink();
    TDUDChangeLink(const TDUDChangeLink&) = delete;
    TDUDChangeLink& operator=(const TDUDChangeLink&) = delete;

    std::function<void()> OnChange;  // the container's items changed
    std::function<void()> OnRemoved; // the container is being destroyed

    TDUDBaseContainer* Sender() const { return sender_; }
    // Raises OnChange when set.
    void Change()
    {
        if (OnChange)
            OnChange();
    }

private:
    friend class TDUDBaseContainer;
    TDUDBaseContainer* sender_ = nullptr;
};

// Base of the library's containers: keeps the links and tells them of
// changes; a destroyed container detaches every link.
class TDUDBaseContainer : public TDUDCustomComponent {
public:
    TDUDBaseContainer() = default;
    ~TDUDBaseContainer() override;

    void RegisterChanges(TDUDChangeLink* link);
    void UnRegisterChanges(TDUDChangeLink* link);
    // Each link's Change, then the component's own change event.
    void Change() override;
    // The same (the name the image-list users know).
    void Changed() { Change(); }

private:
    // Where a change being told stands in links_ (changes may nest).
    struct Telling {
        std::size_t next;
        std::size_t end;
        Telling* outer;
    };
    std::vector<TDUDChangeLink*> links_;
    Telling* telling_ = nullptr;
};

// A user's hold on one container: its link is registered while a container is
// held, and the hold empties itself when the container goes away (OnRemoved
// then runs with Get() already null).
template <class T>
class TDUDContainerHold {
public:
    std::function<void()> OnChange;  // the held container's items changed
    std::function<void()> OnRemoved; // the held container went away

    TDUDContainerHold()
    {
        link_.OnChange = [this] {
            if (OnChange)
                OnChange();
        };
        link_.OnRemoved = [this] {
            held_ = nullptr;
            if (OnRemoved)
                OnRemoved();
        };
    }
    ~TDUDContainerHold()
    {
        if (held_)
            held_->UnRegisterChanges(&link_);
    }
    TDUDContainerHold(const TDUDContainerHold&) = delete;
    TDUDContainerHold& operator=(const TDUDContainerHold&) = delete;

    T* Get() const { return held_; }
    // Moves the link to the new container; false when it is already held.
    bool Set(T* container)
    {
        if (container == held_)
            return false;
        if (held_)
            held_->UnRegisterChanges(&link_);
        held_ = container;
        if (held_)
            held_->RegisterChanges(&link_);
        return true;
    }

private:
    T* held_ = nullptr;
    TDUDChangeLink link_;
};

} // namespace kyd::widgets
