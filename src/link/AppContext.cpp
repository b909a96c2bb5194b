#include "link/AppContext.h"

namespace kyd::link {

void FakeMainWindow::SetBusy(int state)
{
    BusyCalls.push_back(state);
    switch (state) {
    case 2:
        batch_ = true;
        busy_ = true;
        break;
    case 3:
        batch_ = false;
        busy_ = false;
        break;
    case 1:
        if (!batch_)
            busy_ = true;
        break;
    case 0:
        if (!batch_)
            busy_ = false;
        break;
    default:
        break;
    }
}

void FakeMainWindow::ShowStatusText(const std::string& reply, const std::string& text, platform::TextCoding coding)
{
    StatusTexts.emplace_back(reply, text);
    StatusCodings.push_back(coding);
}

void FakeMainWindow::ShowInfoText(const std::string& text, platform::TextCoding coding)
{
    InfoTexts.push_back(text);
    InfoCodings.push_back(coding);
}

} // namespace kyd::link
