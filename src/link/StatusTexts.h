// The texts of status classes and status codes.
//
// Status code texts are looked up by number in two separate ranges: the
// dispenser's status characters (48 to 127, 127 being "Unknown Status") and
// the tool's own communication codes (200 to 205). A number outside these
// ranges has no text, so a stray byte never picks up some other table's text.
#pragma once

#include <string>

namespace kyd::link {

inline constexpr int kClassWarning = 195;
inline constexpr int kClassOperatorRecoverable = 196;
inline constexpr int kClassSoftwareRecoverable = 197;
inline constexpr int kClassRetriableFatal = 198;
inline constexpr int kClassFatal = 199;
inline constexpr int kClassHardwareError = 203;

inline constexpr int kCodeNoConnection = 200;
inline constexpr int kCodeTimeoutError = 201;
inline constexpr int kCodeLrcError = 202;
inline constexpr int kCodeCommunicationCanceled = 205;
inline constexpr int kCodeUnknownStatus = 127;

// Text of a status code in 48..127 or 200..205; empty when there is none.
std::string StatusCodeText(int code);
// Name of a status class (195..199, 203); empty for any other number.
std::string StatusClassText(int statusClass);

} // namespace kyd::link
