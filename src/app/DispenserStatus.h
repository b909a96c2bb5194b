// The dispenser's status-check reply ("Q"): one record for the reject vault
// and each of the eight note feeders, then one status for each internal
// task; and the table of dispenser status texts (numbers 250 to 683) that
// the status check and the module error log show. Payload in, rows out.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kyd::app {

// Text blocks of the dispenser status table, by their first number.
inline constexpr int kOpenCloseFeeder = 250;
inline constexpr int kOpenCloseVault = 270;
inline constexpr int kInternalVault = 300;
inline constexpr int kInternalFeeder = 350;
inline constexpr int kTaskMainMotor = 400;
inline constexpr int kTaskNoteQualifier = 450;
inline constexpr int kTaskNoteDiverter = 500;
inline constexpr int kTaskNoteStacker = 550;
inline constexpr int kTaskNoteOutput = 580;
inline constexpr int kTaskStackPresenter = 600;
inline constexpr int kTaskDataHandler = 650;
inline constexpr int kBcuControl = 670;

// The text of a status number (empty when the table has none).
std::string DispenserStatusText(int number);
// The text of entry n of the block starting at block; empty when block + n
// lies outside that block (never the next block's text).
std::string DispenserStatusText(int block, int n);

struct HopperStatusRow {
    std::string Number;    // '0' the reject vault, '1'..'8' the feeders
    std::string CassId;
    std::string OpenClose;
    std::string Status;
    std::string Internal;  // the two digits, a blank and the text
};

struct TaskStatusRow {
    const char* Task;
    std::string Status;
};

struct StatusCheck {
    std::vector<HopperStatusRow> Hoppers;
    std::array<TaskStatusRow, 7> Tasks{{{"Main Motor", {}},
                                        {"Note Qualifier", {}},
                                        {"Note Diverter", {}},
                                        {"Note Stacker", {}},
                                        {"Stack Presenter", {}},
                                        {"Note Output", {}},
                                        {"Data Handler", {}}}};
};

// Decodes a status-check payload (the reply without its status character).
// A payload that ends before a hopper record starts lists the hoppers it
// has; false when a record or the task part is cut short or holds what is
// not a number where one is needed. Texts are looked up only: nothing else
// changes.
bool DecodeStatusCheck(const std::string& payload, StatusCheck& out);

} // namespace kyd::app
