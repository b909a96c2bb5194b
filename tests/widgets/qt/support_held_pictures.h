// The bytes a loaded list's pictures come to, for the loader tests: a list
// read from a file must hold no more than the containers' budget allows.
#pragma once

#include "widgets/painting/qt/image_list.h"

#include <cstdint>

namespace kyd::widgets::test {

// At the four bytes a pixel the budget counts them at (a picture of fewer
// colours held at one byte a pixel is converted when painted); decoded
// pages count whether or not they were written yet.
inline std::int64_t PictureBytesHeld(const TDUDCustomContainer& list)
{
    std::int64_t held = 0;
    for (int i = 0; i < list.Count(); ++i) {
        if (auto* b = dynamic_cast<const TDUDBitmapListItem*>(list.GetItem(i)))
            held += 4LL * b->Bitmap().width() * b->Bitmap().height();
        else if (auto* m = dynamic_cast<const TDUDImageListItem*>(list.GetItem(i)))
            held += 4LL * (m->Images().width() * std::int64_t{m->Images().height()} +
                          m->Mask().width() * std::int64_t{m->Mask().height()});
    }
    return held;
}

} // namespace kyd::widgets::test
