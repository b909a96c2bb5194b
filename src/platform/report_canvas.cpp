#include "platform/report_canvas.h"

#include <atomic>
#include <stdexcept>

namespace kyd::platform {

namespace {
std::atomic<Printing*> g_printing{nullptr};
}

Printing& printing()
{
    Printing* p = g_printing.load();
    if (!p)
        throw std::logic_error("no printing service installed");
    return *p;
}

void setPrinting(Printing* p)
{
    g_printing.store(p);
}

} // namespace kyd::platform
