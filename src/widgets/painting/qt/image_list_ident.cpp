#include "widgets/painting/qt/image_list_ident.h"

namespace kyd::widgets {

void DUDWriteIdent(TDUDStreamProperties& out, const TDUDCustomImageList* list)
{
    if (!DUDIsGlobalIdent(list))
        return;
    const std::string ident = DUDWriteGlobalIdent(list);
    out.push_back({kDUDIdentPropertyName, std::vector<std::uint8_t>(ident.begin(), ident.end())});
}

std::optional<TDUDCustomImageList*> DUDReadIdent(const TDUDStreamProperties& in)
{
    const TDUDStreamProperty* p = DUDFindProperty(in, kDUDIdentPropertyName);
    if (!p)
        return std::nullopt;
    return DUDReadGlobalIdent(std::string(p->Data.begin(), p->Data.end()));
}

} // namespace kyd::widgets
