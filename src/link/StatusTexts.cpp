#include "link/StatusTexts.h"

#include <array>

namespace kyd::link {

namespace {

// Texts of the dispenser's status characters '0' (48) to 'p' (112).
constexpr std::array<const char*, 65> kDispenserTexts = {
    "30 Successful Command",                     // '0'
    "31 Low Level",                              // '1'
    "32 Empty Cassette",                         // '2'
    "33 Machine not Opened",                     // '3'
    "34 Rejected Notes",                         // '4'
    "35 Diverter Failure",                       // '5'
    "36 Failure to Feed",                        // '6'
    "37 Transmission Error",                     // '7'
    "38 Illegal Command or Com. Sequence",       // '8'
    "39 Jam in Note Qualifier",                  // '9'
    "3A Feed Cassette Not Present or Opened",    // ':'
    "3B Extra Note Detected,Notes Are Rejected", // ';'
    "3C No Notes Retracted",                     // '<'
    "3D Cleaning Fingers failure",               // '='
    "3E Request Format Error",                   // '>'
    "3F Reject Vault Not Present",               // '?'
    "40 Delivery Failure",                       // 0x40
    "41 Reject failure",                         // 'A'
    "42 Too Many Notes Requested",               // 'B'
    "43 Jam in Note Feeder Transport",           // 'C'
    "44 Reject Vault Almost Full",               // 'D'
    "45 Cassette Internal Failure",              // 'E'
    "46 Main Motor Failure",                     // 'F'
    "47 Rejected cheque",                        // 'G'
    "48 High Pressure",                          // 'H'
    "49 Note Qualifier Faulty",                  // 'I'
    "4A Note Feeder Exit Sensor Failure",        // 'J'
    "4B Shutter Failure",                        // 'K'
    "4C Same operator Two Times And Notes",      // 'L'
    "4D Notes In Bundle Output Unit",            // 'M'
    "4E Communications Timeout",                 // 'N'
    "4F Guard will not open",                    // 'O'
    "50 Cassette Not Identified",                // 'P'
    "51 Reject Vault Full",                      // 'Q'
    "52 Printer Error",                          // 'R'
    "53 Print String Error",                     // 'S'
    "54 Note Cassette Loaded in or Behind Printer", // 'T'
    "55 No Notes In Throat",                     // 'U'
    "56 Delivery Throat Does Not Exist",         // 'V'
    "57 Error In Throat",                        // 'W'
    nullptr,                                     // 'X'
    nullptr,                                     // 'Y'
    nullptr,                                     // 'Z'
    "5B Sensor Error or Sensor Covered",         // '['
    "5C Sub-unit Operation Not Performed",       // '\'
    "5D Sub-unit Not Present or Faulty",         // ']'
    "5E Sub-unit Not Installed",                 // '^'
    "5F Sub-unit Communication Error",           // '_'
    "60 KYD Internal Failure",                   // '`'
    "61 Cassette Lock Faulty",                   // 'a'
    "62 Error in Note Stacking Area",            // 'b'
    "63 Module Need Service",                    // 'c'
    "64 Extra Note Deliver",                     // 'd'
    "65 No Message To Resend",                   // 'e'
    "66 Machine Not Properly Defined",           // 'f'
    "67 Stacker Not In Idle Mode",               // 'g'
    "68 Error in Note Transport",                // 'h'
    nullptr,                                     // 'i'
    "6A No Data Available",                      // 'j'
    nullptr,                                     // 'k'
    nullptr,                                     // 'l'
    nullptr,                                     // 'm'
    nullptr,                                     // 'n'
    nullptr,                                     // 'o'
    "70 Cassette is pulled out on close",        // 'p'
};

} // namespace

std::string StatusCodeText(int code)
{
    if (code >= 48 && code < 48 + static_cast<int>(kDispenserTexts.size())) {
        const char* t = kDispenserTexts[static_cast<std::size_t>(code - 48)];
        return t ? t : "";
    }
    switch (code) {
    case kCodeUnknownStatus: return "Unknown Status";
    case 200: return "No Connection";
    case 201: return "Timeout error";
    case 202: return "LRC Error";
    case 203: return "Hardware Error";
    case 205: return "Communication Canceled";
    default: return "";
    }
}

std::string StatusClassText(int statusClass)
{
    switch (statusClass) {
    case 195: return "WARNING";
    case 196: return "OPERATOR RECOVERABLE";
    case 197: return "SOFTWARE RECOVERABLE";
    case 198: return "RETRIABLE FATAL";
    case 199: return "FATAL";
    case 203: return "Hardware Error";
    default: return "";
    }
}

} // namespace kyd::link
