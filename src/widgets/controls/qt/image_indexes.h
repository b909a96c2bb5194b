// The list and image indexes the control bases carry beside their image
// list. Setting either to a new value repaints the control through
// Derived::IndexesChanged().
#pragma once

namespace kyd::widgets {

template <class Derived>
class TDUDImageIndexes {
public:
    int ListIndex() const { return listIndex_; }
    int ImageIndex() const { return imageIndex_; }
    void SetIndex(int index) { Change(listIndex_, index); }
    void SetImageIndex(int index) { Change(imageIndex_, index); }

private:
    void Change(int& field, int index)
    {
        if (index == field)
            return;
        field = index;
        static_cast<Derived*>(this)->IndexesChanged();
    }

    int listIndex_ = 0;
    int imageIndex_ = 0;
};

} // namespace kyd::widgets
