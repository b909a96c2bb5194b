// The link between an image list and the controls that show its images: a
// control registers a link; the list tells every link when its images change
// and when the list goes away, so that no control keeps a dangling list.
#pragma once

#include <functional>
#include <vector>

namespace kyd::widgets {

class TDUDCustomImageList;

class TDUDChangeLink {
public:
    TDUDChangeLink() = default;
    ~TDUDChangeLink();
    TDUDChangeLink(const TDUDChangeLink&) = delete;
    TDUDChangeLink& operator=(const TDUDChangeLink&) = delete;

    std::function<void()> OnChange;  // the list's images changed
    std::function<void()> OnRemoved; // the list is being destroyed

    TDUDCustomImageList* Sender() const { return sender_; }

private:
    friend class TDUDCustomImageList;
    TDUDCustomImageList* sender_ = nullptr;
};

// Base of the library's image lists.
class TDUDCustomImageList {
public:
    TDUDCustomImageList() = default;
    virtual ~TDUDCustomImageList();
    TDUDCustomImageList(const TDUDCustomImageList&) = delete;
    TDUDCustomImageList& operator=(const TDUDCustomImageList&) = delete;

    void RegisterChanges(TDUDChangeLink* link);
    void UnRegisterChanges(TDUDChangeLink* link);
    // Tells every registered link that the images changed.
    void Changed();
    virtual int Count() const { return 0; }

private:
    std::vector<TDUDChangeLink*> links_;
};

} // namespace kyd::widgets
