#include "app/DispenserStatus.h"

#include "link/StatusTexts.h"
#include "link/TextPos.h"

#include <iterator>
#include <map>

namespace kyd::app {

namespace {

using link::CharAt;
using link::SubString;

const std::map<int, const char*>& Texts()
{
    static const std::map<int, const char*> texts = {
        {250, "No Feeder"}, {251, "No Cassette"}, {252, "Cassette Inserted"}, {253, "Cassette data is read"},
        {254, "Cassette Locked to Frame"}, {255, "Cassette operational"}, {259, "Cassette data changed"},
        {271, "RV not present"}, {272, "RV present & closed"}, {275, "Open in Singel Accept"},
        {276, "Open in Bundle Accept"}, {277, "Open in Bundel Reject"}, {279, "RV data changed"},
        {300, "The Reject Vault is OK"}, {301, "Reject Vault is almost full"}, {302, "Reject Vault is full"},
        {303, "No Reject Vault inserted"}, {304, "Error when RV shutter moved to stack reject position"},
        {305, "Error when closing RV"}, {306, "Error when RV shutter moved to single accept position"},
        {307, "Error when RV shutter moved to stack accept position"}, {308, "Checksum error in RV internal data"},
        {309, "Note jammed between the NQ and the Reject sensor"}, {310, "Note jammed in the Reject sensor."},
        {311, "Note to be single rejected, seen in Note Stacker inlet"}, {312, "Communication error with Reject Vault"},
        {350, "Feeder status is OK"}, {351, "No cassette in actual feeder position"},
        {352, "Service requested on actual feeder."}, {353, "Low level in cassette"},
        {354, "Empty detected without low level in cassette"}, {355, "Empty detected with low level in cassette"},
        {356, "Empty detected, feeding continues from other feeder"}, {357, "Cassette is marked as empty."},
        {358, "Feeder not able to feed notes."}, {359, "Feeding interrupted and a retry is made"},
        {360, "Sensor broken, or note stuck under exit sensor"},
        {361, "Feeding aborted because RV single department is getting full"},
        {362, "Feeding aborted, bundle reject performed and notes are fed again"},
        {363, "Not possible to open or close cassette"},
        {364, "Comm. error with the feeder during Open or Close cassette."},
        {365, "Communication error with the feeder."}, {366, "No access to feeders from task"},
        {367, "Error during creation of mailboxes and queues, the task will not start"},
        {400, "The Transport is OK"}, {401, "Transport clock pulses are missed"},
        {402, "Main motor transport did not come up to speed within timeout"},
        {403, "The speed is lower than the speed tolerance"}, {404, "The speed is higher than the speed tolerance"},
        {405, "No access to main motor transport from task"},
        {406, "Error during creation of mailboxes and queues, the task will not start"},
        {450, "The Note Qualifier is OK"}, {451, "Error in note data table was detected during power on"},
        {452, "Error during writing note data table to the e2prom"},
        {453, "More than five rejects without any OK notes between."},
        {454, "Note left Note Feeder exit sensor and not seen in Double detect sensors"},
        {455, "Error during ongoing calibration on Double detect sensors"},
        {456, "Error during note learning sequence"},
        {457, "Error during commanded calibration on Double detect sensors"}, {458, "Lid in Note Qualifier is open"},
        {459, "No access to Note Qualifier from task, or error during post of note data to Stacker Control task"},
        {460, "Error during creation of mailboxes and queues, the task will not start"},
        {500, "The Note Diverter is OK"}, {501, "Error during calibration of Note Diverter sensor"},
        {502, "Error during post of note data to Stacker Control task"},
        {550, "The Note Stacker is OK"}, {551, "Unexpected note in Note Stacker inlet sensor"},
        {552, "Error during enable of Note Stacker"},
        {553, "Note jammed between Note Qualifier and Note Stacker inlet sensor"},
        {554, "Note jammed under Note Stacker inlet sensor"}, {555, "Not used in KYD 100"},
        {556, "Note intended to be stacked was rejected instead"}, {557, "Error during moving of stacker wheel"},
        {559, "Error during creation of mailboxes and queues, the task will not start"},
        {580, "The Throat Handler is OK"}, {581, "Unable to calibrate sensor"}, {582, "Note jammed in transport"},
        {583, "Note is jammed in Throat sensor"}, {584, "Software failure"},
        {585, "Error during creation of mailboxes and queues, the task will not start"},
        {600, "The Stacker Presenter is OK"}, {601, "Internal return code from Retract, no notes to retract"},
        {602, "Error during calibration of throat sensor/empty grip sensor"},
        {603, "BCU do not reach requested position"},
        {604, "Error moving BCU to home position after successful delivery"}, {605, "Error moving BCU to hold position"},
        {606, "Warning, problem moving BCU to reject position"},
        {607, "Warning, problem moving BCU from reject to home position"},
        {608, "Error moving BCU to reject position, or from reject to home position"},
        {609, "Error moving BCU to hold position, movement initiated by delivery command"},
        {611, "Error trying to close shutter"}, {612, "Error trying to open the shutter"},
        {613, "Error in throat, notes are reachable from the customer"},
        {614, "Warning, problem in the throat, due to folded note"},
        {615, "Warning, problem moving the BCU to delivery position, grip empty sensor not covered"},
        {616, "Warning, problem moving the BCU to delivery position"},
        {617, "Customer took notes and then put them back into throat"}, {618, "Error moving BCU to delivery position"},
        {619, "No notes in BCU on a retract."}, {620, "Internal error in SPC"},
        {621, "Communication error with SPC or Reject Vault"}, {622, "No access of presenter from task"},
        {623, "Error during creation of semaphores, the task will not start"},
        {650, "The Data Handler is OK"}, {651, "Checksum error in cassette data area"},
        {652, "Communication error with cassette"}, {653, "No access to cassettes"},
        {654, "Error during creation of semaphores, the task will not start"},
        {670, "The BCU Control is OK"}, {680, "Carrige at wrong position or stuck"},
        {681, "Carrige position sensors malfunction"}, {682, "BOU sensor error"},
        {683, "No notes in carrier on retract"},
    };
    return texts;
}

constexpr std::array<int, 13> kBlocks{kOpenCloseFeeder, kOpenCloseVault, kInternalVault, kInternalFeeder,
                                      kTaskMainMotor,   kTaskNoteQualifier, kTaskNoteDiverter, kTaskNoteStacker,
                                      kTaskNoteOutput,  kTaskStackPresenter, kTaskDataHandler, kBcuControl,
                                      700};

// One decimal digit, or -1.
int Digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

} // namespace

std::string DispenserStatusText(int number)
{
    const auto it = Texts().find(number);
    return it == Texts().end() ? std::string() : it->second;
}

std::string DispenserStatusText(int block, int n)
{
    for (std::size_t i = 0; i + 1 < kBlocks.size(); ++i)
        if (kBlocks[i] == block)
            return n >= 0 && n < kBlocks[i + 1] - block ? DispenserStatusText(block + n) : std::string();
    return {};
}

bool DecodeStatusCheck(const std::string& p, StatusCheck& out)
{
    out = StatusCheck{};
    const int size = static_cast<int>(p.size());
    auto text = [](int block, int n) { return DispenserStatusText(block, n); };
    for (int s = 1; s <= 81; s += 10) {
        if (s > size)
            return true;
        if (s + 9 > size)
            return false; // a record cut short
        HopperStatusRow row;
        const char hopper = CharAt(p, s);
        const bool vault = hopper == '0';
        row.Number = std::string(1, hopper);
        row.CassId = SubString(p, s + 5, 5);
        const int state = Digit(CharAt(p, s + 2));
        if (state < 0)
            return false;
        if (vault)
            row.OpenClose = state == 0 ? std::string("-") : text(kOpenCloseVault, state);
        else
            row.OpenClose = text(kOpenCloseFeeder, state);
        if (state != 0 || vault) {
            const char status = CharAt(p, s + 1);
            row.Status = status == '0' ? std::string("Ok") : link::StatusCodeText(static_cast<unsigned char>(status));
            // A character with no text of its own reads as the status bar
            // has it.
            if (row.Status.empty())
                row.Status = link::StatusCodeText(link::kCodeUnknownStatus);
            const std::string internal = SubString(p, s + 3, 2);
            const int n = link::DecimalOrMinusOne(internal);
            if (n < 0 || internal.size() != 2)
                return false;
            row.Internal = internal + " " + text(vault ? kInternalVault : kInternalFeeder, n);
        }
        out.Hoppers.push_back(std::move(row));
    }
    static constexpr std::array<int, 7> kTaskBlocks{kTaskMainMotor,     kTaskNoteQualifier, kTaskNoteDiverter,
                                                    kTaskNoteStacker,   kTaskStackPresenter, kTaskNoteOutput,
                                                    kTaskDataHandler};
    for (std::size_t i = 0; i < kTaskBlocks.size(); ++i) {
        const std::string digits = SubString(p, 91 + 2 * static_cast<int>(i), 2);
        const int n = link::DecimalOrMinusOne(digits);
        if (n < 0 || digits.size() != 2)
            return false;
        out.Tasks[i].Status = text(kTaskBlocks[i], n);
    }
    return true;
}

} // namespace kyd::app
