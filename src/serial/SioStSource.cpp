// State machine components: the data sources.
#include "serial/SioStMach.h"

#include "platform/exception_sink.h"
#include "serial/SioDispatchWait.h"
#include "serial/SioExcept.h"
#include "serial/SioPacket.h"
#include "serial/SioPacketList.h"
#include "serial/SioPort.h"

#include <cstring>

namespace sio {

namespace pf = kyd::platform;

// ---------------------------------------------------------------------------
// TSioStateCustomDataSource

TSioStateCustomDataSource::TSioStateCustomDataSource(TSioBaseComponent* owner) : TSioBaseComponent(owner) {}

TSioStateCustomDataSource::~TSioStateCustomDataSource() = default;

void TSioStateCustomDataSource::Pause()
{
    ++pauseCount_;
}

void TSioStateCustomDataSource::Resume()
{
    int n = pauseCount_.load();
    while (n > 0 && !pauseCount_.compare_exchange_weak(n, n - 1)) {
    }
}

void TSioStateCustomDataSource::StateMachineStart(TSioCustomStateMachine* machine)
{
    if (!machine)
        throw EStateMachine(ecNoStateMachine);
    SetStateMachine(machine);
    pauseCount_ = 0;
}

void TSioStateCustomDataSource::StateMachineStop()
{
    pauseCount_ = 0;
    Resume();
}

void TSioStateCustomDataSource::SetStateMachine(TSioCustomStateMachine* machine)
{
    TSioCustomStateMachine* old = machine_.load();
    if (machine == old)
        return;
    if (old)
        RemoveFreeNotification(old);
    machine_ = machine;
    if (machine)
        FreeNotification(machine);
}

void TSioStateCustomDataSource::Notification(TSioBaseComponent* removed)
{
    if (removed == machine_.load())
        machine_ = nullptr;
}

TSioCustomStateMachine* TSioStateCustomDataSource::SearchStateMachine(const TSioBaseComponent* component)
{
    if (!component)
        return nullptr;
    for (TSioBaseComponent* c : component->Components()) {
        if (auto* m = dynamic_cast<TSioCustomStateMachine*>(c))
            return m;
        if (TSioCustomStateMachine* m = SearchStateMachine(c))
            return m;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// TSioStateComPortSource

// Between the dispatcher's handler list and the source: the handler reaches
// the source only through the gate, and deregistering closes the gate and
// waits for calls under way.
struct TSioStateComPortSource::Gate {
    std::mutex mutex;
    std::condition_variable cv;
    TSioStateComPortSource* source = nullptr; // guarded by mutex
    int active = 0;                           // guarded by mutex
    bool detaching = false;                   // guarded by mutex

    bool Idle()
    {
        std::lock_guard lock(mutex);
        return active == 0;
    }
    void WaitIdle() { WaitForWorker([this] { return Idle(); }, -1, mutex, cv); }
};

// Packets of states that were left, freed from the message loop.
struct TSioStateComPortSource::Bin {
    std::vector<std::unique_ptr<TSioDataPacket>> packets;
    void FreeAll()
    {
        std::vector<std::unique_ptr<TSioDataPacket>> going;
        going.swap(packets);
        for (auto& p : going)
            pf::guarded("state machine data source", [&] { p.reset(); });
    }
};

namespace {

void Route(const std::shared_ptr<TSioStateComPortSource::Gate>& gate, TSioBaseDispatcher& d, std::uint32_t msg,
           std::uint32_t count);

} // namespace

TSioStateComPortSource::TSioStateComPortSource(TSioBaseComponent* owner)
    : TSioStateCustomDataSource(owner), bin_(std::make_shared<Bin>())
{
    SetComPort(SearchComPort(owner));
}

TSioStateComPortSource::~TSioStateComPortSource()
{
    pf::guarded("state machine data source", [&] {
        DeregisterHandler();
        RetirePackets();
        SetComPort(nullptr);
    });
    // The packets are unbound: a delivery still queued for one of them
    // touches nothing of it. They are freed from the message loop all the
    // same, after what is queued now.
    if (!bin_->packets.empty() && pf::hasMessageLoop()) {
        std::shared_ptr<Bin> bin = bin_;
        pf::messageLoop().postCall([bin] { bin->FreeAll(); });
    } else {
        bin_->FreeAll();
    }
}

void TSioStateComPortSource::SetComPort(TSioCustomComPort* port)
{
    if (port == comPort_)
        return;
    TSioCustomComPort* old = comPort_;
    if (old) {
        DeregisterHandler();
        ReleaseHeldData();
        old->DeregisterUserCallbackEx(this);
        RemoveFreeNotification(old);
    }
    comPort_ = port;
    if (!port) {
        RetirePackets();
    } else if (!packets_.empty()) {
        // The current state's conditions wait on the new port from now on.
        for (TSioDataPacket* p : packets_)
            pf::guarded("state machine data source", [&] { p->SetComPort(port); });
        if (TSioDataPacketManager* m = TSioDataPacketManagerList::Find(port))
            m->SetKeepAlive(true);
    }
    if (old)
        if (TSioDataPacketManager* m = TSioDataPacketManagerList::Find(old)) {
            m->SetKeepAlive(false);
            TSioDataPacketManagerList::PacketLeft(*old);
        }
    if (comPort_) {
        FreeNotification(comPort_);
        comPort_->RegisterUserCallbackEx(this, [this](TSioCustomComPort&, TSioCallbackType type) {
            PortNotice(type == ctOpen);
        });
        // A running machine goes on with the new port's data.
        TSioCustomStateMachine* m = machine_.load();
        if (m && m->Running() && comPort_->GetPortState() == psOpen)
            RegisterHandler();
    }
}

void TSioStateComPortSource::Inserted(TSioBaseComponent* inserted)
{
    TSioStateCustomDataSource::Inserted(inserted);
    if (comPort_)
        return;
    if (auto* port = dynamic_cast<TSioCustomComPort*>(inserted))
        SetComPort(port);
}

void TSioStateComPortSource::Notification(TSioBaseComponent* removed)
{
    TSioStateCustomDataSource::Notification(removed);
    if (removed != comPort_)
        return;
    // The port is gone (it closed first, which took the handler away); its
    // packets were unbound from it.
    comPort_ = nullptr;
    registeredWith_ = nullptr;
    holding_ = false; // the manager went with the port
    RetirePackets();
}

void TSioStateComPortSource::PortNotice(bool opened)
{
    if (opened) {
        TSioCustomStateMachine* m = machine_.load();
        if (m && m->Running())
            RegisterHandler();
    } else {
        DeregisterHandler();
    }
}

void TSioStateComPortSource::RegisterHandler()
{
    if (registeredWith_ || !comPort_)
        return;
    TSioBaseDispatcher* d = comPort_->CurrentDispatcher();
    if (!d)
        return;
    gate_ = std::make_shared<Gate>();
    gate_->source = this;
    std::shared_ptr<Gate> gate = gate_;
    CheckException(false, d->RegisterEventTriggerHandler(gate.get(), [gate, d](std::uint32_t msg, std::uint32_t count,
                                                                               std::int32_t) {
        Route(gate, *d, msg, count);
    }));
    registeredWith_ = d;
}

void TSioStateComPortSource::DeregisterHandler()
{
    if (!gate_)
        return;
    {
        std::lock_guard lock(gate_->mutex);
        gate_->source = nullptr;
        gate_->detaching = true;
    }
    TSioBaseDispatcher* d = registeredWith_;
    registeredWith_ = nullptr;
    if (d && comPort_ && d == comPort_->CurrentDispatcher())
        d->DeregisterEventTriggerHandler(gate_.get());
    gate_->WaitIdle();
    gate_.reset();
}

void TSioStateComPortSource::WaitForHandlers()
{
    if (gate_)
        gate_->WaitIdle();
}

namespace {

void Route(const std::shared_ptr<TSioStateComPortSource::Gate>& gate, TSioBaseDispatcher& d, std::uint32_t msg,
           std::uint32_t count)
{
    if (msg != kMsgTriggerAvail)
        return;
    TSioStateComPortSource* source;
    {
        std::lock_guard lock(gate->mutex);
        source = gate->source;
        if (!source)
            return;
        ++gate->active;
    }
    pf::guarded("state machine data source", [&] { source->DataAvailable(d, count); });
    bool detaching;
    {
        std::lock_guard lock(gate->mutex);
        --gate->active;
        detaching = gate->detaching;
    }
    gate->cv.notify_all();
    if (detaching && pf::hasMessageLoop())
        pf::messageLoop().wakeUp();
}

} // namespace

void TSioStateComPortSource::DataAvailable(TSioBaseDispatcher& d, std::uint32_t count)
{
    if (!count)
        return;
    // Between states the bytes stay in the port for the next one, which has
    // them announced again as it is entered.
    if (TSioCustomStateMachine* m = machine_.load(); m && !m->CurrentState())
        return;
    const std::int32_t n = static_cast<std::int32_t>(count);
    if (rx_.empty())
        rx_.resize(n > TSioDataPacketManager::kBufferStep ? n + TSioDataPacketManager::kBufferStep
                                                          : TSioDataPacketManager::kBufferStep);
    // The terminating zero needs a byte too (a full 8192-byte block).
    if (static_cast<std::size_t>(n) + 1 > rx_.size())
        rx_.resize(static_cast<std::size_t>(n) + TSioDataPacketManager::kBufferStep);
    rxSize_ = static_cast<std::int32_t>(rx_.size());
    // Every handler of this notification is handed the same bytes.
    if (d.GetBlock(rx_.data(), count) < 0)
        return;
    rx_[count] = 0;
    const std::string text(reinterpret_cast<const char*>(rx_.data()), ::strnlen(reinterpret_cast<const char*>(rx_.data()), count));
    if (OnGetData)
        OnGetData(this, rx_.data(), n);
    if (OnGetDataString)
        OnGetDataString(this, text);
    TSioCustomStateMachine* m = machine_.load();
    TSioCustomState* s = m ? m->CurrentState() : nullptr;
    if (!s)
        return;
    if (s->OnGetData)
        s->OnGetData(*s, rx_.data(), n);
    if (s->OnGetDataString)
        s->OnGetDataString(*s, text);
}

std::size_t TSioStateComPortSource::RetiredPackets() const
{
    return bin_->packets.size();
}

void TSioStateComPortSource::RetirePackets()
{
    if (packets_.empty())
        return;
    // Unbound at once: from then on the dispatch side never touches them
    // again, and an event of theirs already handed to the main thread finds
    // them gone and calls nothing. Freed later from the message loop, never
    // inside an event of the packets or under the dispatch thread.
    for (TSioDataPacket* p : packets_) {
        pf::guarded("state machine data source", [&] {
            p->SetEnabled(false);
            p->SetComPort(nullptr);
        });
        bin_->packets.emplace_back(p);
    }
    packets_.clear();
    if (pf::hasMessageLoop()) {
        std::weak_ptr<Bin> bin = bin_;
        pf::messageLoop().postCall([bin] {
            if (auto b = bin.lock())
                b->FreeAll();
        });
    }
}

void TSioStateComPortSource::Output(const std::string& s)
{
    if (comPort_)
        comPort_->PutString(s);
}

void TSioStateComPortSource::OutputBlock(const void* block, std::int32_t size)
{
    if (comPort_ && size > 0)
        comPort_->PutBlock(block, static_cast<std::uint32_t>(size));
}

void TSioStateComPortSource::Pause()
{
    TSioStateCustomDataSource::Pause();
    for (TSioDataPacket* p : packets_)
        p->SetEnabled(false);
}

namespace {

bool HasEndCondition(const TSioDataPacket& p)
{
    return !p.GetStartString().empty() || !p.GetEndString().empty() || p.GetPacketSize() > 0;
}

} // namespace

void TSioStateComPortSource::Resume()
{
    TSioStateCustomDataSource::Resume();
    if (Paused())
        return;
    for (TSioDataPacket* p : packets_)
        if (HasEndCondition(*p))
            p->SetEnabled(true);
    ReleaseHeldData();
}

void TSioStateComPortSource::HoldData(TSioDataPacket& completed)
{
    // The state is done: its other conditions stop here, and the bytes
    // behind the completed packet wait for the next state's conditions.
    for (TSioDataPacket* p : packets_)
        if (p != &completed)
            pf::guarded("state machine data source", [&] { p->SetEnabled(false); });
    if (TSioDataPacketManager* m = completed.Manager()) {
        m->SetHold(true);
        holding_ = true;
    }
}

void TSioStateComPortSource::ReleaseHeldData()
{
    if (!holding_)
        return;
    holding_ = false;
    if (comPort_)
        if (TSioDataPacketManager* m = TSioDataPacketManagerList::Find(comPort_))
            pf::guarded("state machine data source", [&] { m->SetHold(false); });
}

void TSioStateComPortSource::StateActivate(TSioCustomState& state)
{
    // The kept bytes go to the new state's conditions first; a state
    // without packets (an action state) keeps them for the one after it.
    for (TSioDataPacket* p : packets_)
        if (p->GetEnabled()) {
            ReleaseHeldData();
            break;
        }
    // What waits in the port (left between states, or there before the
    // machine started) is this state's.
    if (registeredWith_)
        registeredWith_->AnnounceWaitingData();
    if (!comPort_)
        return;
    if (comPort_->GetPortState() == psOpen)
        comPort_->AddStringToLog(state.Name + ": Activate");
    if (!state.OutputOnActivate.empty())
        comPort_->PutString(state.OutputOnActivate);
}

void TSioStateComPortSource::StateDeactivate(TSioCustomState& state)
{
    if (comPort_ && comPort_->GetPortState() == psOpen)
        comPort_->AddStringToLog(state.Name + ": Deactivate");
}

void TSioStateComPortSource::StateChange(TSioCustomState*, TSioCustomState*)
{
    RetirePackets();
}

void TSioStateComPortSource::StateMachineDeactivate(TSioCustomState&)
{
    RetirePackets();
}

void TSioStateComPortSource::StateMachineActivate(TSioCustomState& state, TSioStateCondition& condition, int index)
{
    if (state.ActionState)
        return;
    TSioCustomStateMachine* machine = machine_.load();
    const std::uint64_t generation = machine ? machine->Generation() : 0;
    auto owned = std::make_unique<TSioDataPacket>();
    TSioDataPacket* p = owned.get();
    packets_.push_back(owned.release());
    p->Name = state.Name + "." + condition.DisplayName();
    p->SetAutoEnable(false);
    p->SetOnPacket([this, index, generation](TSioDataPacket& packet, const std::uint8_t* data, std::int32_t size) {
        TSioCustomStateMachine* m = machine_.load();
        if (!m || m->Generation() != generation || m->Paused())
            return; // a transition that would be dropped holds nothing back
        HoldData(packet);
        // The data becomes the machine's only when this transition is taken.
        m->PostStateChange(index, generation, data, size);
    });
    p->SetOnTimeout([this, generation](TSioDataPacket&) {
        TSioCustomStateMachine* m = machine_.load();
        TSioCustomState* cur = m ? m->CurrentState() : nullptr;
        if (!cur)
            return;
        int found = -1;
        for (int i = 0; i < cur->Conditions().Count() && found < 0; ++i)
            if (cur->Conditions().Items(i).DefaultError)
                found = i;
        for (int i = 0; i < cur->Conditions().Count() && found < 0; ++i)
            if (cur->Conditions().Items(i).DefaultNext)
                found = i;
        if (found >= 0)
            m->PostStateChange(found, generation);
    });
    if (!condition.StartString.empty()) {
        p->SetStartString(condition.StartString);
        p->SetStartCond(scString);
    } else {
        p->SetStartCond(scAnyData);
    }
    TPacketEndSet end = 0;
    p->SetEndString(condition.EndString);
    if (!condition.EndString.empty())
        end |= ecString;
    p->SetPacketSize(condition.PacketSize);
    if (condition.PacketSize > 0)
        end |= ecPacketSize;
    p->SetEndCond(end);
    p->SetTimeOut(condition.Timeout);
    p->SetComPort(comPort_);
    if (condition.StartString.empty() && condition.EndString.empty() && condition.PacketSize < 1) {
        if (machine)
            machine->PostStateChange(index, generation);
        return;
    }
    p->SetEnabled(true);
    if (TSioDataPacketManager* m = p->Manager())
        m->SetKeepAlive(true);
}

void TSioStateComPortSource::StateMachineStart(TSioCustomStateMachine* machine)
{
    TSioStateCustomDataSource::StateMachineStart(machine);
    if (!comPort_)
        throw EPortNotAssigned(ecodes::ecPortNotAssigned);
    if (!comPort_->GetOpen() && comPort_->GetAutoOpen())
        comPort_->SetOpen(true);
    RegisterHandler();
}

void TSioStateComPortSource::StateMachineStop()
{
    TSioStateCustomDataSource::StateMachineStop();
    DeregisterHandler();
    ReleaseHeldData();
    if (comPort_)
        if (TSioDataPacketManager* m = TSioDataPacketManagerList::Find(comPort_)) {
            m->SetKeepAlive(false);
            TSioDataPacketManagerList::PacketLeft(*comPort_);
        }
}

} // namespace sio
