#include "support_packet.h"

#include "serial/SioExcept.h"

namespace packet_test {

void FakeHost::RegisterHandler(sio::TSioDataPacketManager&)
{
    registered = true;
    ++registrations;
}

void FakeHost::DeregisterHandler(sio::TSioDataPacketManager&)
{
    registered = false;
}

int FakeHost::AddTimerTrigger()
{
    int h = nextHandle_;
    nextHandle_ += 8;
    timers[h] = Timer{};
    return h;
}

void FakeHost::RemoveTrigger(int handle)
{
    if (timers.erase(handle) == 0)
        throw sio::EBadTriggerHandle(sio::ecodes::ecBadTriggerHandle, false);
}

void FakeHost::SetTimerTrigger(int handle, sio::Ticks ticks, bool activate, sio::Ticks startTicks)
{
    auto it = timers.find(handle);
    if (it == timers.end())
        throw sio::EBadTriggerHandle(sio::ecodes::ecBadTriggerHandle, false);
    if (activate) {
        if (ticks != 0)
            it->second.ticks = ticks;
        ++it->second.arms;
        it->second.since = startTicks;
    }
    it->second.active = activate;
}

void FakeHost::RunEvent(const std::function<void()>& fn, bool sync)
{
    ++events;
    syncFlags.push_back(sync);
    fn();
}

const FakeHost::Timer* FakeHost::ManagerTimer(const sio::TSioDataPacketManager& m) const
{
    auto it = timers.find(m.TimerHandle());
    return it == timers.end() ? nullptr : &it->second;
}

bool FakeHost::TimerActive(const sio::TSioDataPacketManager& m) const
{
    const Timer* t = ManagerTimer(m);
    return t && t->active;
}

bool FakeHost::FireTimer(sio::TSioDataPacketManager& m)
{
    auto it = timers.find(m.TimerHandle());
    if (it == timers.end() || !it->second.active)
        return false;
    it->second.active = false;
    m.OnTimer(it->first);
    return true;
}

void Recorder::Attach(sio::TSioDataPacket& p, bool recordPackets)
{
    p.SetOnStringPacket([this](sio::TSioDataPacket& sender, const std::string& s) {
        log.push_back("S:" + s);
        if (then)
            then(sender, s);
    });
    if (recordPackets)
        p.SetOnPacket([this](sio::TSioDataPacket&, const std::uint8_t*, std::int32_t size) {
            log.push_back("P:" + std::to_string(size));
        });
    p.SetOnTimeout([this](sio::TSioDataPacket& sender) {
        std::string s;
        sender.GetCollectedString(s);
        log.push_back("T:" + std::to_string(sender.GetDataSize()) + (s.empty() ? "" : ":" + s));
    });
}

void Feed(sio::TSioDataPacketManager& m, const std::string& bytes)
{
    m.OnData(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

void FeedSplit(sio::TSioDataPacketManager& m, const std::string& bytes, const std::vector<std::size_t>& cuts)
{
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        if (cut > from && cut <= bytes.size()) {
            m.OnData(reinterpret_cast<const std::uint8_t*>(bytes.data()) + from, cut - from);
            from = cut;
        }
    }
    if (from < bytes.size())
        m.OnData(reinterpret_cast<const std::uint8_t*>(bytes.data()) + from, bytes.size() - from);
}

} // namespace packet_test
