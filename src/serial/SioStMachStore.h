// Storing and loading a state machine: its states with their captions,
// positions and conditions, and the transitions between them, in a small
// text format of this library.
//
//   KYD state machine 1
//   machine Caption="Dialogue" Color=$00FFFFFF MovableStates=0 ...
//   state Name="Hello" Caption="Hello" Left=10 Top=10 Width=75 Height=50 ...
//   condition NextState="Work" EndString="READY\r" Timeout=2048 ...
//   connectoid Caption="" Color=$00FF0000 Width=2 ...
//   end
//
// One record a line: a keyword, then Key=Value items separated by one
// blank. A condition belongs to the state above it, a connectoid to the
// condition above it (a condition without one has none). Strings are in
// double quotes with \\ \" \r \n \t and \xHH escapes; colours are $ and
// eight hex digits; flags 0 or 1. Every item may be left out (it keeps its
// default); the writer writes them all, so an empty connectoid caption stays
// empty. A state's glyph is a picture and is not stored.
#pragma once

#include "serial/SioStMach.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace sio {

// Damaged or unsupported input; what() names the line and what is wrong.
class EStateMachineLoad : public std::runtime_error {
public:
    EStateMachineLoad(int line, const std::string& what);
    int Line() const { return line_; }

private:
    int line_;
};

// The text form of the machine and of its states (in the order they were
// placed in it).
std::string StoreStateMachine(const TSioCustomStateMachine& machine);

// Loads text into machine, which must not hold states yet: creates the
// states (owned by the caller through states, components of owner), their
// conditions and connectoids, and sets the machine's properties. Raises
// EStateMachineLoad for damaged input, and then leaves machine and states
// as they were.
void LoadStateMachine(const std::string& text, TSioCustomStateMachine& machine, TSioBaseComponent* owner,
                      std::vector<std::unique_ptr<TSioCustomState>>& states);

} // namespace sio
