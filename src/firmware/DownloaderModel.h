// What the firmware downloader window decides without any widget: the
// action chosen, the progress total of a run, whether Start may run with
// the file and boards selected (and the message when not), the steps of a
// run, the connection states and the texts the window shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kyd::firmware {

// The action: bit 0 erase, bit 1 download, bit 2 verify.
enum TActionMode : int {
    amEraseDownload = 3,
    amEraseDownloadVerify = 7,
    amDownloadVerify = 6,
    amVerifyOnly = 4,
};

// What a run processes.
enum class TRunKind { Nodes, Cmc, JumperNode };

// Connection states of the window's 500 ms timer.
enum TConnState : std::uint8_t {
    csIdle = 0,         // connected; each tick polls the bootloader
    csBusy = 1,         // discovery or a run under way
    csConnect = 3,      // the next tick tries to connect
    csDiscover = 4,     // connected, nodes to be found
    csJumper = 5,       // connected in jumper mode, presence to be checked
    csClosing = 6,      // closing; ticks still poll
    csClosed = 7,       // closed; no more ticks
    csPortFailed = 8,   // the port did not open; no further attempts
};

inline constexpr std::uint32_t kBarColorNormal = 5138688; // dark green
inline constexpr std::uint32_t kBarColorFailed = 255;     // red

extern const char* const kPreparationText;
extern const char* const kSuccessText;
extern const char* const kErrorText;

// A file whose name begins with "2006" is an NFC file, any other a CMC file.
bool IsNfcFile(const std::string& name);

// The progress total of a run: L lines in the file, n NFC boards checked.
int ProgressTotal(TActionMode mode, TRunKind kind, int lines, int nodes);
// The meter's maximum for a total: T plus T × 0.01275 (single precision,
// truncated).
int MeterMaximum(int total);

// The steps of one item, in order, with the action text each shows.
enum class TStep { Erase, Download, Verify };
std::vector<TStep> StepsOf(TActionMode mode);
const char* StepText(TStep step); // "Erasing", "Downloading", "Verifying"

// What Start sees of the window.
struct TStartRequest {
    std::string FileName; // the file's name as the edit box shows it
    bool Cmc = false;     // CMCChkBox
    bool Jumper = false;  // CheckBoxJumper
    bool AnyNfc = false;  // an NFC box
};
// Empty when the request is accepted, else the one message to show.
std::optional<std::string> StartRefusal(const TStartRequest& r);

// The line of the log that names the boards done before a failure, e.g.
// "Done before the failure: NFC 1, NFC 3"; empty when none was done.
std::string DoneBeforeFailure(const std::vector<std::string>& done);

} // namespace kyd::firmware
