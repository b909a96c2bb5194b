#include "app/qt/PageRead.h"

#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"

#include <exception>

namespace kyd::app {

bool ReadFurtherPage(link::TPLVRCmdF* cmd, int item, const std::string& parameter)
{
    std::string failure;
    try {
        if (cmd && cmd->ReadData(item, parameter))
            return true;
        failure = cmd ? cmd->Model()->CodeText : std::string();
    } catch (...) {
        // The port went away between two pages.
        failure = platform::describeException(std::current_exception());
    }
    platform::dialogs().messageDlg(failure, platform::DlgType::Error, platform::DlgButtons::Ok);
    return false;
}

} // namespace kyd::app
