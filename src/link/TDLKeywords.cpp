// The statements of the TDL language: the one table of keywords that the
// engine accepts (TDLScript.cpp runs them).
#include "link/TDLScript.h"

namespace kyd::link {

const std::vector<std::string>& TTDLScript::Keywords()
{
    static const std::vector<std::string> keywords{
        "LOOP", "ENDLOOP", "MACHINE_TYPE", "RESET", "DISPENSE", "MOVE_FORWARD", "DELIVER", "REJECT",
        "CHECK_THROAT", "READ_CASS_NR", "READ_CASS_ID", "SHOW_CASSETTE_DLG", "LIFTS_DOWN", "LIFTS_UP",
        "CLOSE_CASS", "OPEN_CASS", "READ_PROGRAM_ID", "STR_CMD", "POLL", "SEND_SELFTESTDATA",
        "SEND_SELFTESTDATA_NC", "CHANGE_TELLER", "CLEAR_FEEDER_VECTOR", "SHOW_MESSAGE", "DELAY_SEC", "DELAY_MSEC",
        "//", "%", "LOG", "#", "SAVE_FM_DATA_DB", "SAVE_DATA_END_DB", "SAVE_FCDATA_END_DB", "STOP_IF_REPLY_EQUAL",
        "STOP_IF_REPLY_NOT_EQUAL", "LOGFILE", "IGNORE_ILLEGAL_COMMAND", "IGNORE_ILLEGAL_COMAND",
        "STOP_IF_ILLEGAL_COMMAND", "STOP_IF_ILLEGAL_COMAND", "SOFT_BREAK_ON_EMPTY", "SET_REJECT_MSG_ON",
        "SET_REJECT_MSG_OFF", "IGNORE_SYNTAX", "TRACE"};
    return keywords;
}

} // namespace kyd::link
