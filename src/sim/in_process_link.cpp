#include "sim/in_process_link.h"

namespace kyd::sim {

std::string InProcessLink::write(std::string_view bytes)
{
    std::string out;
    if (hungUp_)
        return out;
    for (const std::string& f : assembler_.feed(bytes.data(), bytes.size())) {
        ReplyPlan plan = sim_.onFrame(f);
        std::string sent;
        for (const ReplyChunk& c : plan.chunks)
            sent += c.bytes;
        if (!plan.chunks.empty())
            sim_.logSent(sent);
        out += sent;
        if (plan.hangUp) {
            hungUp_ = true;
            assembler_.clear();
            break;
        }
    }
    return out;
}

std::string InProcessLink::exchange(std::string_view command)
{
    return write(frame(command));
}

} // namespace kyd::sim
