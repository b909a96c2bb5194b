// Binding packets to port components: the global manager list and the host
// through which a manager reaches its port's dispatcher.
#include "serial/SioPacketList.h"

#include "platform/exception_sink.h"
#include "platform/message_loop.h"
#include "serial/SioDispatchWait.h"
#include "serial/SioPort.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace sio {

namespace {

namespace pf = kyd::platform;

// Message to the list's target: free the managers that have no packets.
constexpr std::uint32_t kMsgFreeManagers = 45089;
// Delay before looking again at a manager that was delivering an event.
constexpr std::int64_t kFreeRetryMs = 10;

// The dispatcher whose notification the current thread is handling.
thread_local TSioBaseDispatcher* tlsDispatcher = nullptr;

// Between the dispatcher's handler list and a manager: the handler reaches
// the manager only through the gate, and freeing a manager first closes the
// gate and waits for calls under way.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    TSioDataPacketManager* manager = nullptr; // guarded by mutex
    std::atomic<int> active{0};
    bool detaching = false; // guarded by mutex: Detach is waiting for active == 0
    // Guarded by mutex: the port is gone while a notification was inside
    // the manager, which is freed once that has left.
    bool orphaned = false;
};

void PostFreeOrphans();

void Route(Gate& gate, TSioBaseDispatcher& d, std::uint32_t msg, std::uint32_t second)
{
    if (msg != kMsgTriggerAvail && msg != kMsgTriggerTimer)
        return;
    TSioDataPacketManager* m;
    {
        std::lock_guard lock(gate.mutex);
        m = gate.manager;
        if (!m)
            return;
        gate.active.fetch_add(1);
    }
    tlsDispatcher = &d;
    pf::guarded("data packet trigger handler", [&] {
        if (msg == kMsgTriggerAvail) {
            thread_local std::vector<std::uint8_t> buffer;
            buffer.resize(second);
            // The generation goes with the read, not with the delivery: a
            // flush of the port comes wholly before or wholly after both.
            std::uint64_t generation = 0;
            if (second > 0
                && m->TakeInput([&] { return d.GetBlock(buffer.data(), second) >= 0; }, generation))
                m->OnData(buffer.data(), second, generation);
        } else {
            m->OnTimer(static_cast<int>(second));
        }
    });
    tlsDispatcher = nullptr;
    bool detaching;
    bool lastOfOrphan;
    {
        std::lock_guard lock(gate.mutex);
        const int left = gate.active.fetch_sub(1) - 1;
        detaching = gate.detaching;
        lastOfOrphan = gate.orphaned && left == 0;
    }
    gate.cv.notify_all();
    // Only a Detach on the main thread waits by pumping messages.
    if (detaching && pf::hasMessageLoop())
        pf::messageLoop().wakeUp();
    if (lastOfOrphan)
        PostFreeOrphans();
}

class PortPacketHost final : public PacketHost {
public:
    explicit PortPacketHost(TSioCustomComPort& port) : port_(&port), gate_(std::make_shared<Gate>()) {}

    bool PortIsOpen() const override
    {
        const TSioCustomComPort* port = port_.load();
        return port && port->GetPortState() == psOpen;
    }

    void RegisterHandler(TSioDataPacketManager& manager) override
    {
        TSioBaseDispatcher* d = Dispatcher();
        if (!d)
            throw ECommNotOpen(ecodes::ecCommNotOpen);
        {
            std::lock_guard lock(gate_->mutex);
            gate_->manager = &manager;
        }
        std::shared_ptr<Gate> gate = gate_;
        CheckException(false, d->RegisterEventTriggerHandler(gate.get(), [gate, d](std::uint32_t msg, std::uint32_t second, std::int32_t) {
            Route(*gate, *d, msg, second);
        }));
        registeredWith_ = d;
    }

    void DeregisterHandler(TSioDataPacketManager&) override
    {
        {
            std::lock_guard lock(gate_->mutex);
            gate_->manager = nullptr;
        }
        TSioBaseDispatcher* d = registeredWith_;
        registeredWith_ = nullptr;
        if (d && d == Dispatcher())
            d->DeregisterEventTriggerHandler(gate_.get());
    }

    int AddTimerTrigger() override
    {
        TSioBaseDispatcher* d = Dispatcher();
        if (!d)
            throw ECommNotOpen(ecodes::ecCommNotOpen);
        return CheckException(false, d->AddTimerTrigger());
    }

    void RemoveTrigger(int handle) override
    {
        if (TSioBaseDispatcher* d = Dispatcher())
            CheckException(false, d->RemoveTrigger(static_cast<std::uint32_t>(handle)));
    }

    void SetTimerTrigger(int handle, Ticks ticks, bool activate, Ticks startTicks) override
    {
        if (TSioBaseDispatcher* d = Dispatcher())
            CheckException(false, d->SetTimerTrigger(static_cast<std::uint32_t>(handle), ticks, activate, startTicks));
    }

    void RunEvent(const std::function<void()>& fn, bool sync) override
    {
        TSioBaseDispatcher* d = tlsDispatcher;
        if (sync && d && pf::hasMessageLoop())
            d->Sync(fn); // false: the port is closing and fn will not run
        else
            fn();
        // The event freed the port. A delivery without a notification (a
        // hold released on this thread) has no last notification to free
        // the manager, and a free posted while the event pumped messages
        // found it still delivering: try again once this delivery is over.
        bool orphaned;
        {
            std::lock_guard lock(gate_->mutex);
            orphaned = gate_->orphaned;
        }
        if (orphaned)
            PostFreeOrphans();
    }

    void Log(std::uint16_t subType, std::uint32_t data, const std::uint8_t* bytes, std::size_t count) override
    {
        if (TSioBaseDispatcher* d = Dispatcher(); d && d->DLoggingOn())
            d->AddDispatchEntry(dtPacket, static_cast<TDispatchSubType>(subType), data, bytes,
                                static_cast<std::uint32_t>(count));
    }

    // Closes the gate and waits until no notification is inside the
    // manager (pumping messages on the main thread meanwhile, so that an
    // event waiting for the main thread can finish).
    void Detach()
    {
        {
            std::lock_guard lock(gate_->mutex);
            gate_->manager = nullptr;
            gate_->detaching = true;
        }
        Gate& g = *gate_;
        WaitForWorker([&g] { return g.active.load() == 0; }, -1, g.mutex, g.cv);
        std::lock_guard lock(gate_->mutex);
        gate_->detaching = false;
    }

    // The port is being freed while the manager delivers: the host no
    // longer reaches the port, and the last notification to leave the
    // manager has it freed (PostFreeOrphans).
    void PortGone()
    {
        port_ = nullptr;
        std::lock_guard lock(gate_->mutex);
        gate_->manager = nullptr;
        gate_->orphaned = true;
    }

    // A notification is inside the manager.
    bool Busy() const { return gate_->active.load() > 0; }

private:
    // On the dispatch thread the dispatcher being served; elsewhere the
    // port's current one (the main thread replaces it only while no
    // dispatch thread runs).
    TSioBaseDispatcher* Dispatcher() const
    {
        if (tlsDispatcher)
            return tlsDispatcher;
        const TSioCustomComPort* port = port_.load();
        return port ? port->CurrentDispatcher() : nullptr;
    }

    std::atomic<TSioCustomComPort*> port_;
    std::shared_ptr<Gate> gate_;
    TSioBaseDispatcher* registeredWith_ = nullptr;
};

struct Entry {
    TSioCustomComPort* port = nullptr;
    std::unique_ptr<PortPacketHost> host;
    std::unique_ptr<TSioDataPacketManager> manager;
};

struct ListState {
    std::vector<std::unique_ptr<Entry>> entries;
    // Managers of freed ports that were busy when their port went (no
    // port, no packets).
    std::vector<std::unique_ptr<Entry>> orphans;

    ~ListState()
    {
        // Managers still listed when the program ends.
        while (!entries.empty()) {
            std::unique_ptr<Entry> e = std::move(entries.back());
            entries.pop_back();
            pf::guarded("data packet manager list", [&] {
                e->host->Detach();
                e->port->DeregisterUserCallbackEx(e->manager.get());
                e->manager.reset();
            });
        }
        for (auto& e : orphans)
            pf::guarded("data packet manager list", [&] {
                e->host->Detach();
                e->manager.reset();
            });
    }
};

ListState& State()
{
    static ListState state;
    return state;
}

Entry* FindEntry(const TSioCustomComPort* port)
{
    for (auto& e : State().entries)
        if (e->port == port)
            return e.get();
    return nullptr;
}

void FreeEntry(Entry* entry)
{
    auto& list = State().entries;
    auto it = std::find_if(list.begin(), list.end(), [&](auto& e) { return e.get() == entry; });
    if (it == list.end())
        return;
    std::unique_ptr<Entry> e = std::move(*it);
    list.erase(it);
    e->host->Detach();
    e->port->DeregisterUserCallbackEx(e->manager.get());
    e->manager.reset();
    e->host.reset();
}

void FreeEmptyManagers();

bool PostFree(std::int64_t delayMs)
{
    // A target of its own for each request, gone once it has run: nothing
    // is left behind in a message loop that a test replaces.
    pf::MessageLoop& loop = pf::messageLoop();
    auto id = std::make_shared<pf::TargetId>(0);
    *id = loop.createTarget([id](const pf::Message& msg) -> std::intptr_t {
        if (msg.msg != kMsgFreeManagers)
            return 0;
        pf::messageLoop().destroyTarget(*id);
        pf::guarded("data packet manager list", [] { FreeEmptyManagers(); });
        return 0;
    });
    const pf::Message m{kMsgFreeManagers, 0, 0};
    if (delayMs > 0 ? loop.postDelayed(*id, m, delayMs) : loop.post(*id, m))
        return true;
    loop.destroyTarget(*id);
    return false;
}

void FreeOrphans()
{
    auto& orphans = State().orphans;
    for (std::size_t k = 0; k < orphans.size();) {
        Entry* e = orphans[k].get();
        // Still delivering (an event further up this thread's stack, or a
        // notification on its way out): the last one out posts again.
        if (e->host->Busy() || e->manager->InEvent()) {
            ++k;
            continue;
        }
        std::unique_ptr<Entry> gone = std::move(orphans[k]);
        orphans.erase(orphans.begin() + static_cast<std::ptrdiff_t>(k));
        gone->manager.reset();
        gone->host.reset();
    }
}

void PostFreeOrphans()
{
    // Also from the dispatch thread of a freed port, which may end while
    // the program uninstalls its loop.
    pf::withInstalledLoop([](pf::MessageLoop& loop) {
        loop.postCall([] { pf::guarded("data packet manager list", [] { FreeOrphans(); }); });
    });
}

void FreeEmptyManagers()
{
    bool retry = false;
    for (std::size_t k = 0; k < State().entries.size();) {
        Entry* e = State().entries[k].get();
        if (e->manager->PacketCount() != 0 || e->manager->GetKeepAlive()) {
            ++k;
            continue;
        }
        if (e->manager->InEvent()) {
            retry = true;
            ++k;
            continue;
        }
        FreeEntry(e);
    }
    if (retry)
        PostFree(kFreeRetryMs);
}

} // namespace

TSioDataPacketManager* TSioDataPacketManagerList::Find(const TSioCustomComPort* port)
{
    Entry* e = FindEntry(port);
    return e ? e->manager.get() : nullptr;
}

TSioDataPacketManager& TSioDataPacketManagerList::Obtain(TSioCustomComPort& port)
{
    if (Entry* e = FindEntry(&port))
        return *e->manager;
    auto e = std::make_unique<Entry>();
    e->port = &port;
    e->host = std::make_unique<PortPacketHost>(port);
    e->manager = std::make_unique<TSioDataPacketManager>(*e->host);
    TSioDataPacketManager* m = e->manager.get();
    port.RegisterUserCallbackEx(m, [m](TSioCustomComPort&, TSioCallbackType type) {
        if (type == ctOpen)
            m->PortOpened();
        else
            m->PortClosed();
    });
    State().entries.push_back(std::move(e));
    return *m;
}

void TSioDataPacketManagerList::PacketLeft(TSioCustomComPort& port)
{
    Entry* e = FindEntry(&port);
    if (!e || e->manager->PacketCount() != 0 || e->manager->GetKeepAlive())
        return;
    if (pf::hasMessageLoop() && PostFree(0))
        return;
    if (!e->manager->InEvent())
        FreeEntry(e);
}

void TSioDataPacketManagerList::PortDestroyed(TSioCustomComPort& port)
{
    Entry* e = FindEntry(&port);
    if (!e)
        return;
    {
        std::lock_guard<std::mutex> g(e->manager->mutex_);
        for (TSioDataPacket* p : e->manager->packetList_)
            p->comPort_ = nullptr;
    }
    // Freed from inside an event of the manager (its handler frees the
    // port): the manager's delivery is still under way further up a stack,
    // so it lets go of its packets now and goes once the delivery is over.
    if (!e->manager->InEvent() && !e->host->Busy()) {
        FreeEntry(e);
        return;
    }
    auto& list = State().entries;
    auto it = std::find_if(list.begin(), list.end(), [&](auto& p) { return p.get() == e; });
    std::unique_ptr<Entry> orphan = std::move(*it);
    list.erase(it);
    port.DeregisterUserCallbackEx(orphan->manager.get());
    orphan->port = nullptr;
    std::vector<TSioDataPacket*> packets;
    {
        std::lock_guard<std::mutex> g(orphan->manager->mutex_);
        packets = orphan->manager->packetList_;
    }
    for (TSioDataPacket* p : packets)
        orphan->manager->Remove(*p);
    orphan->host->PortGone();
    State().orphans.push_back(std::move(orphan));
    // Also for a delivery that ran on this thread without a notification
    // (releasing a hold): it is over when the message loop next runs.
    PostFreeOrphans();
}

std::size_t TSioDataPacketManagerList::Count()
{
    return State().entries.size() + State().orphans.size();
}

// ---------------------------------------------------------------------------
// TSioDataPacket::SetComPort

void TSioDataPacket::SetComPort(TSioCustomComPort* port)
{
    if (port == comPort_)
        return;
    if (comPort_) {
        TSioCustomComPort* old = comPort_;
        comPort_ = nullptr;
        if (TSioDataPacketManager* m = TSioDataPacketManagerList::Find(old); m && manager_ == m)
            m->Remove(*this);
        TSioDataPacketManagerList::PacketLeft(*old);
    }
    if (!port)
        return;
    TSioDataPacketManager& m = TSioDataPacketManagerList::Obtain(*port);
    m.Insert(*this);
    comPort_ = port;
    auto g = Guard();
    if (!enabled_)
        return;
    try {
        Enable();
    } catch (...) {
        enabled_ = false;
        try {
            Disable();
        } catch (...) {
        }
        throw;
    }
}

void TSioDataPacket::Inserted(TSioBaseComponent* inserted)
{
    if (comPort_)
        return;
    if (auto* port = dynamic_cast<TSioCustomComPort*>(inserted))
        SetComPort(port);
}

// ---------------------------------------------------------------------------
// TSioDataPacket: waiting for the packet

bool TSioDataPacket::WaitForPacket(std::vector<std::uint8_t>& data, std::int32_t& size)
{
    {
        auto g = Guard();
        packetReceived_ = false;
        timedOutFlag_ = false;
        autoEnable_ = false;
        SetEnabledLocked(true);
        waiting_ = true;
    }
    struct Leave {
        TSioDataPacket& p;
        ~Leave()
        {
            auto g = p.Guard();
            p.waiting_ = false;
        }
    } leave{*this};
    const auto ended = [this] {
        auto g = Guard();
        return packetReceived_ || timedOutFlag_ || !enabled_ || !comPort_ || comPort_->GetPortState() != psOpen;
    };
    if (pf::hasMessageLoop()) {
        if (comPort_)
            comPort_->PumpUntil(ended, -1); // ends on a quit request too
        else
            pf::messageLoop().pumpUntil(ended, -1);
    }
    auto g = Guard();
    if (!packetReceived_)
        return false;
    data = collected_;
    size = static_cast<std::int32_t>(collected_.size());
    return true;
}

bool TSioDataPacket::WaitForString(std::string& s)
{
    std::vector<std::uint8_t> data;
    std::int32_t size = 0;
    if (!WaitForPacket(data, size))
        return false;
    s.assign(data.begin(), data.end());
    return true;
}

} // namespace sio
