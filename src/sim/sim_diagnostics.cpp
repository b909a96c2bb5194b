// The simulated dispenser's diagnostics: the status check and the
// self-test sensor data, both drawn from the same state, so a fault shows
// alike in each of them and in the status of the commands it affects.
#include "sim/sim_core.h"

#include "sim/sim_text.h"

#include <set>

namespace kyd::sim {

using namespace text;

std::string SimCore::statusCheck() const
{
    std::string r = "0";
    // Reject vault record.
    const Cassette& rv = cassettes_[0];
    const RejectVaultLevel level = rejectVaultLevel();
    r += '0';
    if (!rv.present)
        r += "?103";
    else {
        r += level == RejectVaultLevel::Full ? 'Q' : level == RejectVaultLevel::AlmostFull ? 'D' : '0';
        r += rv.state == CassetteState::Open ? '6' : '2';
        r += level == RejectVaultLevel::Full ? "02" : level == RejectVaultLevel::AlmostFull ? "01" : "00";
    }
    r += last5(rv.id);
    for (int pos = 1; pos <= 8; ++pos) {
        const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
        r += static_cast<char>('0' + pos);
        if (!c.fitted) {
            r += "0000     ";
            continue;
        }
        if (!c.present) {
            r += ":101     ";
            continue;
        }
        // The worst condition of the feeder is the one reported.
        r += c.exitJammed ? 'J' : c.notes == 0 ? '2' : c.notes <= config_.lowLevel ? '1' : '0';
        switch (c.state) {
        case CassetteState::Closed: r += '3'; break;
        case CassetteState::Latched: r += '4'; break;
        case CassetteState::Released: r += '2'; break;
        case CassetteState::Open: r += '5'; break;
        }
        r += c.exitJammed ? "10" : c.notes == 0 ? "07" : c.notes <= config_.lowLevel ? "03" : "00";
        r += last5(c.id);
    }
    r += "00000000000000"; // seven tasks, all well
    return r;
}

std::string SimCore::selfTest(std::string_view cmd) const
{
    if (cmd == "GA") {
        std::string r = "00120";
        std::set<std::string> done;
        for (int pos = 1; pos <= 8; ++pos) {
            const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
            if (!c.fitted || !c.present || !done.insert(c.denomination).second)
                continue;
            r += c.denomination + "0503110" + "0523108";
        }
        return r;
    }
    if (cmd.size() != 2 || cmd[1] < '0' || cmd[1] > '9')
        return "8";
    const int sel = cmd[1] - '0';
    if (sel == 0) {
        const Cassette& rv = cassettes_[0];
        const bool rvOpen = rv.present && rv.state == CassetteState::Open;
        std::string r = "0";
        r += stack_ > 0 ? '1' : '0'; // BOU exit
        r += '0';                     // BOU empty
        r += "0010";                  // BCU front, rear, home, reject
        r += '0';                     // spare
        r += items_.at(394).value == 0 ? "10" : "01"; // shutter open / closed
        r += "1215";                  // BOU calibrations
        r += "03";                    // ND reject exit state and calibration
        r += rv.present ? '1' : '0';
        r += rvOpen ? '0' : '1';      // RV shutter closed
        r += '0';                     // single accept
        r += rvOpen ? '1' : '0';      // stack accept
        r += "000";                   // retract, lid/lock, lid solenoid
        return r;
    }
    if (sel == 9)
        return std::string("00") + (throat_ > 0 ? '1' : '0') + "145";
    const Cassette& c = cassettes_[static_cast<std::size_t>(sel)];
    if (!c.fitted)
        return "8";
    const bool open = c.present && c.state == CassetteState::Open;
    std::string r = "0";
    r += c.exitJammed ? '2' : '0';                              // exit
    r += !c.present ? '-' : c.notes == 0 ? '1' : '0';           // empty
    r += !c.present ? '-' : '1';                                // pressure
    r += open ? "111" : "000";                                  // shutters 1..3
    r += c.present ? '1' : '0';                                 // cassette present
    r += !c.present ? '-' : c.notes <= config_.lowLevel ? '0' : '1'; // low level
    r += c.state == CassetteState::Released ? '1' : '0';        // lid/lock
    r += "00";                                                  // solenoids
    const bool extended = items_.at(214).value == 1;
    r += extended ? "07093" : "562";
    r += extended ? "2" : "1";
    r += digits(c.height, 3);
    r += digits(c.width, 3);
    r += c.present ? c.denomination : std::string(7, ' ');
    return r;
}

} // namespace kyd::sim
