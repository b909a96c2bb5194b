#include "sim/boot_core.h"

#include <algorithm>

namespace kyd::sim {

namespace {

constexpr std::uint8_t kReady = 0xA0;
constexpr std::uint8_t kAlive = 0xB0;
constexpr std::uint8_t kResend = 0xAA;
constexpr std::uint8_t kKeepAlive = 0xE3;
constexpr std::uint8_t kSelected = 0xB1;
constexpr std::uint8_t kPresent = 0xBB;
constexpr std::uint8_t kCheckFailed = 0xFB;
constexpr std::uint8_t kNoNodes = 0xFC;
constexpr std::uint8_t kNodeMarker = 0xCA;
constexpr std::uint8_t kCommandFailed = 0xF2;
constexpr std::uint8_t kSetZeroFailed = 0xF9;
constexpr char kEraseDone = 'q';
constexpr std::size_t kBoot1Length = 32;
constexpr std::size_t kBoot2Length = 276;
constexpr std::uint8_t kBoot1Index = 0x81;
constexpr std::uint8_t kBoot2Index = 0x82;
constexpr std::int64_t kIdleDropMs = 500;
constexpr int kJumperSlot = 8; // nodes_ index of the board selected by jumper

std::string bytesOf(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s += static_cast<char>(b);
    return s;
}

} // namespace

const std::vector<BootRoutine>& BootRoutines()
{
    static const std::vector<BootRoutine> table = {
        {'0', 150}, {'1', 116}, {'0', 452}, {'1', 212}, {'2', 136}, {'3', 240},
        {'4', 212}, {'2', 376}, {'3', 634}, {'4', 466}, {'0', 740}, {'0', 178},
    };
    return table;
}

std::size_t FlashSizeOfId(std::uint16_t id)
{
    switch (id) {
    case 0x22AB: // Am29F400B
    case 0x00D6: // M29F400BB
    case 0xABAB: // MBM29F400BC
        return 0x80000;
    default:     // Am29F800B, M29F800AB and others
        return 0x100000;
    }
}

BootCore::BootCore(BootConfig config) : config_(config)
{
    if (config_.flashSize == 0)
        config_.flashSize = FlashSizeOfId(config_.flashId);
    cmc_.assign(config_.flashSize, config_.initialFill);
    nodes_.assign(9, std::vector<std::uint8_t>(config_.nodeFlashSize, config_.initialFill));
}

std::vector<std::uint8_t>& BootCore::image(int node)
{
    if (node >= 1 && node <= 8)
        return nodes_[static_cast<std::size_t>(node - 1)];
    if (node == 255)
        return nodes_[kJumperSlot];
    return cmc_;
}

void BootCore::powerCycle()
{
    state_ = BootState::RomBoot;
    selected_ = 0;
    resetCollect();
    event("power cycle");
}

bool BootCore::take(int& count)
{
    if (count == 0)
        return false;
    if (count > 0)
        --count;
    return true;
}

void BootCore::resetCollect()
{
    collect_.clear();
    want_ = 0;
}

BootAnswer BootCore::answer(std::string bytes, bool reply)
{
    BootAnswer a;
    if (reply && take(faults_.silent))
        return a;
    if (take(faults_.spurious))
        bytes = bytesOf({0xFF, 0xF7}) + bytes;
    a.chunks.push_back({faults_.delayMs, std::move(bytes)});
    return a;
}

bool BootCore::blockValid(const std::string& block, std::uint8_t index, std::size_t length) const
{
    if (block.size() != length || length < 5)
        return false;
    unsigned sum = 0;
    for (char c : block)
        sum += static_cast<unsigned char>(c);
    const auto u = [&](std::size_t i) { return static_cast<std::uint8_t>(block[i]); };
    return (sum & 0xFFu) == 0 && u(0) == (length & 0xFF) && u(1) == ((length >> 8) & 0xFF) && u(2) == index &&
           u(3) == static_cast<std::uint8_t>(~index);
}

bool BootCore::nodeAnswers(int node) const
{
    if (node == 255)
        return config_.jumperNode;
    if (node < 1 || node > 8)
        return false;
    const unsigned bit = 1u << (node - 1);
    return (config_.nodeMask & bit) != 0 && (faults_.absentNodes & bit) == 0;
}

std::vector<std::uint8_t>* BootCore::transferTarget()
{
    if (selected_ != 0)
        return &image(selected_);
    // A CMC with a CAN module flashes itself through the CAN routines.
    if ((config_.flashId & 0xFF00) == 0xCA00)
        return &cmc_;
    return nullptr;
}

BootAnswer BootCore::feed(std::uint8_t byte, std::int64_t nowMs)
{
    const bool collecting = !collect_.empty() &&
                            (state_ == BootState::BootBlock1 || state_ == BootState::BootBlock2 ||
                             state_ == BootState::StartUp || state_ == BootState::RoutineBlock ||
                             state_ == BootState::Records);
    if (collecting && nowMs - lastByteMs_ > kIdleDropMs) {
        event("dropped " + std::to_string(collect_.size()) + " bytes");
        resetCollect();
        if (state_ == BootState::RoutineBlock || state_ == BootState::Records)
            state_ = BootState::CommandLoop;
    }
    lastByteMs_ = nowMs;
    const char c = static_cast<char>(byte);

    switch (state_) {
    case BootState::RomBoot:
        if (byte != 0x00)
            return {};
        event("boot");
        if (take(faults_.noCpuId))
            return {};
        state_ = BootState::BootBlock1;
        resetCollect();
        {
            // The ROM's first byte: no line noise is modelled before it (the
            // loader takes it as the id, whatever its value).
            BootAnswer a;
            a.chunks.push_back({faults_.delayMs, std::string(1, static_cast<char>(config_.cpuId))});
            return a;
        }

    case BootState::BootBlock1: {
        collect_ += c;
        if (collect_.size() < kBoot1Length)
            return {};
        const bool ok = blockValid(collect_, kBoot1Index, kBoot1Length) &&
                        static_cast<std::uint8_t>(collect_[16]) == 0x13 &&
                        static_cast<std::uint8_t>(collect_[17]) == 0xF8;
        resetCollect();
        if (!ok) {
            event("bad boot block 1");
            state_ = BootState::RomBoot;
            return {};
        }
        state_ = BootState::BootBlock2;
        return {};
    }

    case BootState::BootBlock2: {
        collect_ += c;
        if (collect_.size() < kBoot2Length)
            return {};
        const bool ok = blockValid(collect_, kBoot2Index, kBoot2Length);
        resetCollect();
        if (!ok) {
            event("bad boot block 2");
            state_ = BootState::RomBoot;
            return {};
        }
        state_ = BootState::StartUp;
        command_ = 0;
        return answer(std::string(1, static_cast<char>(kReady)), false);
    }

    case BootState::CommandLoop:
        if (byte == kKeepAlive) {
            event("keep-alive");
            if (take(faults_.keepAliveSilent))
                return {};
            return answer(std::string(1, static_cast<char>(kAlive)), false);
        }
        if (byte == 0x00) {
            // Only the ROM answers a zero byte: the board was reset.
            state_ = BootState::RomBoot;
            return feed(byte, nowMs);
        }
        if (c >= '0' && c <= '4') {
            event(std::string("command ") + c);
            if (take(faults_.noReady))
                return {};
            command_ = c;
            state_ = BootState::RoutineBlock;
            resetCollect();
            return answer(std::string(1, static_cast<char>(kReady)), false);
        }
        return {};

    case BootState::StartUp:
    case BootState::RoutineBlock: {
        collect_ += c;
        if (collect_.size() == 2)
            want_ = static_cast<std::uint8_t>(collect_[0]) | (static_cast<std::size_t>(static_cast<std::uint8_t>(collect_[1])) << 8);
        if (collect_.size() < 2 || collect_.size() < want_)
            return {};
        // The whole block: which routine is it?
        std::string block;
        block.swap(collect_);
        want_ = 0;
        const auto index = static_cast<std::uint8_t>(block.size() > 2 ? block[2] : 0xFF);
        const auto& routines = BootRoutines();
        const bool known = index < routines.size() &&
                           (state_ == BootState::StartUp ? index == 0 : routines[index].command == command_);
        const bool ok = known && blockValid(block, index, routines[index].length);
        if (!ok || take(faults_.corruptBlocks)) {
            event("block refused");
            return answer(std::string(1, static_cast<char>(kResend)), false);
        }
        event("routine " + std::to_string(index));
        state_ = BootState::CommandLoop;
        return runRoutine(index);
    }

    case BootState::Records:
        collect_ += c;
        if (collect_.size() == 2)
            want_ = 6 + static_cast<std::uint8_t>(collect_[1]);
        if (collect_.size() < 2 || collect_.size() < want_)
            return {};
        return onRecord();

    case BootState::NodeNumber:
        state_ = BootState::CommandLoop;
        return selectNode(byte);
    }
    return {};
}

BootAnswer BootCore::runRoutine(int index)
{
    switch (index) {
    case 0:
        return answer(bytesOf({0x00, kAlive}));
    case 1:
        return answer(bytesOf({0x00, config_.flashId >> 8, config_.flashId & 0xFF, 0x00, kAlive}));
    case 2: {
        bool any = false;
        for (int n = 1; n <= 8; ++n)
            any = any || nodeAnswers(n);
        return answer(bytesOf({0x00, any ? kPresent : kCheckFailed, kAlive}));
    }
    case 10:
        return answer(bytesOf({0x00, nodeAnswers(255) ? kPresent : kCheckFailed, kAlive}));
    case 3: {
        int mask = 0;
        for (int n = 1; n <= 8; ++n)
            if (nodeAnswers(n))
                mask |= 1 << (n - 1);
        return answer(bytesOf({0x00, kNodeMarker, mask, 0x00, kAlive}));
    }
    case 4:
    case 7: {
        std::vector<std::uint8_t>* target = index == 4 ? &cmc_ : transferTarget();
        if (!target)
            return answer(bytesOf({0x00, kNoNodes, kAlive}));
        ++erases_;
        if (faults_.eraseError != 0 && take(faults_.eraseErrors)) {
            BootAnswer a = answer(bytesOf({0x00, faults_.eraseError, kAlive}));
            if (!a.chunks.empty())
                a.chunks.front().waitMs += config_.eraseMs;
            return a;
        }
        std::fill(target->begin(), target->end(), 0xFF);
        BootAnswer a = answer(bytesOf({0x00, kEraseDone, kAlive}));
        if (!a.chunks.empty())
            a.chunks.front().waitMs += config_.eraseMs;
        return a;
    }
    case 5:
    case 6:
    case 8:
    case 9:
        if ((index == 8 || index == 9) && !transferTarget())
            return answer(bytesOf({0x00, kNoNodes, kAlive}));
        routine_ = index;
        base_ = 0;
        records_ = 0;
        state_ = BootState::Records;
        resetCollect();
        return answer(bytesOf({0x00, kReady}));
    case 11:
        state_ = BootState::NodeNumber;
        return answer(bytesOf({0x00, kSelected, kReady}));
    default:
        return {};
    }
}

BootAnswer BootCore::recordError(std::uint8_t code)
{
    event("record error " + std::to_string(code));
    state_ = BootState::CommandLoop;
    return answer(bytesOf({0x00, code, kAlive}));
}

BootAnswer BootCore::onRecord()
{
    std::string rec;
    rec.swap(collect_);
    want_ = 0;
    const auto u = [&](std::size_t i) { return static_cast<std::uint8_t>(rec[i]); };
    unsigned sum = 0;
    for (std::size_t i = 1; i < rec.size(); ++i)
        sum += u(i);
    if (rec[0] != ':' || (sum & 0xFFu) != 0) {
        event("record garbled");
        return answer(bytesOf({kResend, kReady}));
    }
    if (take(faults_.recordResends)) {
        event("record resend");
        return answer(bytesOf({kResend, kReady}));
    }
    ++records_;
    event("record " + std::to_string(records_));
    if (faults_.hangUpAfterRecords > 0 && records_ >= faults_.hangUpAfterRecords) {
        faults_.hangUpAfterRecords = 0;
        state_ = BootState::RomBoot;
        BootAnswer a;
        a.hangUp = true;
        return a;
    }
    if (faults_.recordError != 0 && faults_.recordErrorAt == records_)
        return recordError(faults_.recordError);

    const std::size_t count = u(1);
    const std::uint32_t address = (static_cast<std::uint32_t>(u(2)) << 8) | u(3);
    const std::uint8_t type = u(4);
    const bool verify = routine_ == 6 || routine_ == 9;
    std::vector<std::uint8_t>* target = routine_ == 5 || routine_ == 6 ? &cmc_ : transferTarget();
    if (!target)
        return recordError(kCommandFailed);
    switch (type) {
    case 0x00: {
        const std::uint32_t at = base_ + address;
        if (at + count > target->size())
            return recordError(kCommandFailed);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t d = u(5 + i);
            const std::uint8_t old = (*target)[at + i];
            if (verify ? old != d : (old & d) != d)
                return recordError(verify ? kCommandFailed : kSetZeroFailed);
        }
        if (!verify)
            for (std::size_t i = 0; i < count; ++i)
                (*target)[at + i] = u(5 + i);
        return answer(bytesOf({0x00, kReady}));
    }
    case 0x01:
        event("end record");
        state_ = BootState::CommandLoop;
        return answer(bytesOf({0x00, kReady, kAlive}));
    case 0x02:
    case 0x04:
        if (count != 2)
            return recordError(kCommandFailed);
        base_ = ((static_cast<std::uint32_t>(u(5)) << 8) | u(6)) << (type == 0x02 ? 4 : 16);
        return answer(bytesOf({0x00, kReady}));
    case 0x03:
    case 0x05:
        return answer(bytesOf({0x00, kReady}));
    default:
        return recordError(kCommandFailed);
    }
}

BootAnswer BootCore::selectNode(std::uint8_t node)
{
    if (nodeAnswers(node)) {
        selected_ = node;
        event("node " + std::to_string(node));
        return answer(bytesOf({kSelected, kAlive}));
    }
    selected_ = 0;
    event("node " + std::to_string(node) + " absent");
    return answer(bytesOf({kNoNodes, kAlive}));
}

} // namespace kyd::sim
