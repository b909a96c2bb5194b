// The self-test sensor data, decoded from the reply to "GA" and "G0".."G9"
// into the rows of one page each: payload in, rows out. No GUI here; the
// self-test window puts the rows on screen.
//
// Payloads are the reply without its status character; positions are
// counted from 1. A field beyond the payload's end leaves its row as it was.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kyd::app {

inline constexpr int kNoImage = -1;

// "Not obstructed", "Obstructed", "Error", "Warning", "Not present" for the
// state values 0..4; empty for any other.
std::string SensorStateText(int state);

struct SensorRow {
    std::string Caption;     // the sensor's name
    std::string State;       // state text
    int Image = kNoImage;    // state value 0..4, kNoImage: none
    std::string Calibration;
    std::string Range;       // the calibration's range, e.g. "(0-7)"
};

// The state of a row from its state character: a digit '0'..'4' is that
// state value ('-' is 4 where dashes are allowed); values 0 and 1 take the
// row's own texts when it has them. A character outside the table shows as
// it stands, with no image.
void SetSensorState(SensorRow& row, char c, bool dashAllowed, const char* text0 = nullptr,
                    const char* text1 = nullptr);

struct DenominationRow {
    std::string Caption;               // the denomination's text
    std::array<std::string, 6> Values; // sensor A offset, gain, thickness; sensor B the same
};

// "Note Qualifier" page (selector -1, "GA").
struct NoteQualifierPage {
    SensorRow Clock{"Transport Clock Sensor", "", kNoImage, "", "(0-200)"};
    std::vector<DenominationRow> Denominations;
};

// "Feeders" page (selectors 1..8, "G1".."G8").
struct FeederPage {
    std::vector<SensorRow> Rows; // the eleven sensors
    std::string Denomination;    // LabelDenom
    std::string Vertical;        // LabelNSVert
    std::string Horizontal;      // LabelNSHorz
};

// A page of sensors only: "Stack Presenter" (selector 0, "G0") and "Note
// Transport" (selector 9, "G9").
struct SensorPage {
    std::vector<SensorRow> Rows;
};

FeederPage NewFeederPage();
SensorPage NewStackPresenterPage();
SensorPage NewNoteTransportPage();

void DecodeNoteQualifier(const std::string& payload, NoteQualifierPage& page);
// Long form when the payload is longer than 28 characters.
void DecodeFeeder(const std::string& payload, FeederPage& page);
void DecodeStackPresenter(const std::string& payload, SensorPage& page);
void DecodeNoteTransport(const std::string& payload, SensorPage& page);
// The page of a feeder that is not fitted: no states, no calibration of the
// first four rows, no size and no denomination.
void BlankFeeder(FeederPage& page);

// The command of a selector: "GA" for -1, else "G" and the digit.
std::string SelfTestCommand(int selector);

} // namespace kyd::app
