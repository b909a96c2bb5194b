// A link to the simulator without any device: bytes written go straight to
// the simulator and its answer comes straight back. Waits of the fault
// settings are not made; a hang-up leaves the link closed.
#pragma once

#include "sim/framing.h"
#include "sim/simulator.h"

#include <string>
#include <string_view>

namespace kyd::sim {

class InProcessLink {
public:
    explicit InProcessLink(Simulator& sim) : sim_(sim) {}

    // Writes bytes as a program on the line would; returns every byte the
    // dispenser sends back for the frames they complete.
    std::string write(std::string_view bytes);
    // Sends a command text framed with its checksum and carriage return and
    // returns the raw answer (empty when there is none).
    std::string exchange(std::string_view command);
    bool hungUp() const { return hungUp_; }
    void reopen() { hungUp_ = false; assembler_.clear(); }

private:
    Simulator& sim_;
    FrameAssembler assembler_;
    bool hungUp_ = false;
};

} // namespace kyd::sim
