// The identity property a form stores for a control's image list when that
// list is one of the library's global lists: "Internal", holding the list's
// identifier ("DUDBML30", "DUDIML30"), so that a loaded form finds the same
// global list again. A list of the form itself is stored as a reference
// instead, and gets no such property.
#pragma once

#include "widgets/storage/property_stream.h"
#include "widgets/painting/qt/image_list.h"

#include <optional>

namespace kyd::widgets {

inline constexpr const char* kDUDIdentPropertyName = "Internal";

// Appends "Internal" when the list is a global one (WriteIdent).
void DUDWriteIdent(TDUDStreamProperties& out, const TDUDCustomImageList* list);
// The list an "Internal" property names (ReadIdent): nothing when there is
// no such property, null when it names no global list.
std::optional<TDUDCustomImageList*> DUDReadIdent(const TDUDStreamProperties& in);

} // namespace kyd::widgets
