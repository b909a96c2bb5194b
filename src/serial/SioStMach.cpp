// State machine components: conditions, states and the machine.
#include "serial/SioStMach.h"

#include "platform/exception_sink.h"
#include "serial/SioExcept.h"
#include "serial/SioPort.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace sio {

namespace pf = kyd::platform;

// ---------------------------------------------------------------------------
// Connectoid

void TSioStateConnectoid::Assign(const TSioStateConnectoid& other)
{
    width_ = other.width_;
    caption_ = other.caption_;
    color_ = other.color_;
    Font = other.Font;
    Changed();
}

void TSioStateConnectoid::SetWidth(int value)
{
    if (value != width_) {
        width_ = value;
        Changed();
    }
}

void TSioStateConnectoid::SetCaption(const std::string& value)
{
    if (value != caption_) {
        caption_ = value;
        Changed();
    }
}

void TSioStateConnectoid::SetColor(TColor value)
{
    if (value != color_) {
        color_ = value;
        Changed();
    }
}

void TSioStateConnectoid::Changed()
{
    if (condition_)
        condition_->Changed();
}

// ---------------------------------------------------------------------------
// Conditions

TSioStateCondition::TSioStateCondition(TSioStateConditions& collection)
    : collection_(collection), connectoid_(std::make_unique<TSioStateConnectoid>(this))
{
}

TSioStateCondition::~TSioStateCondition() = default;

void TSioStateCondition::SetNextState(TSioCustomState* state)
{
    if (state != nextState_) {
        nextState_ = state;
        Changed();
    }
}

void TSioStateCondition::SetConnectoid(const TSioStateConnectoid* value)
{
    if (!value) {
        if (connectoid_) {
            connectoid_.reset();
            Changed();
        }
        return;
    }
    if (!connectoid_)
        connectoid_ = std::make_unique<TSioStateConnectoid>(this);
    connectoid_->Assign(*value);
}

std::string TSioStateCondition::GetCaption() const
{
    return connectoid_ ? connectoid_->GetCaption() : std::string();
}

void TSioStateCondition::SetCaption(const std::string& value)
{
    if (connectoid_)
        connectoid_->SetCaption(value);
}

TColor TSioStateCondition::GetColor() const
{
    return connectoid_ ? connectoid_->GetColor() : clNone;
}

void TSioStateCondition::SetColor(TColor value)
{
    if (connectoid_)
        connectoid_->SetColor(value);
}

TSioFont TSioStateCondition::GetFont() const
{
    return connectoid_ ? connectoid_->Font : State().Font;
}

void TSioStateCondition::SetFont(const TSioFont& value)
{
    if (connectoid_ && !(connectoid_->Font == value)) {
        connectoid_->Font = value;
        Changed();
    }
}

std::string TSioStateCondition::DisplayName() const
{
    const std::string c = GetCaption();
    return c.empty() ? "TSioStateCondition" + std::to_string(Index()) : c;
}

int TSioStateCondition::Index() const
{
    return collection_.IndexOf(*this);
}

TSioCustomState& TSioStateCondition::State() const
{
    return collection_.State();
}

void TSioStateCondition::Changed()
{
    TSioCustomState& s = State();
    s.SetBounds(s.Left(), s.Top(), s.Width(), s.Height());
}

TSioStateCondition& TSioStateConditions::Add()
{
    items_.push_back(std::make_unique<TSioStateCondition>(*this));
    state_.Invalidate();
    if (state_.Machine())
        state_.Machine()->Invalidate();
    return *items_.back();
}

TSioStateCondition& TSioStateConditions::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return *items_[static_cast<std::size_t>(index)];
}

void TSioStateConditions::Delete(int index)
{
    Items(index);
    items_.erase(items_.begin() + index);
    if (state_.Machine())
        state_.Machine()->Invalidate();
}

void TSioStateConditions::Clear()
{
    items_.clear();
    if (state_.Machine())
        state_.Machine()->Invalidate();
}

int TSioStateConditions::IndexOf(const TSioStateCondition& c) const
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == &c)
            return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------------------
// States

TSioCustomState::TSioCustomState(TSioBaseComponent* owner) : TSioBaseGraphicControl(owner) {}

TSioCustomState::~TSioCustomState()
{
    pf::guarded("state", [&] { SetMachine(nullptr); });
}

void TSioCustomState::SetMachine(TSioCustomStateMachine* machine)
{
    if (machine == machine_)
        return;
    if (machine_)
        machine_->RemoveState(*this);
    machine_ = machine;
    if (machine_) {
        inactiveColor_ = machine_->Color;
        machine_->AddState(*this);
    }
}

void TSioCustomState::Notification(TSioBaseComponent* removed)
{
    if (removed == machine_)
        machine_ = nullptr;
}

void TSioCustomState::Activate()
{
    if (machine_)
        machine_->LiveDataSource().StateActivate(*this);
    active_ = true;
    finished_ = false;
    Invalidate();
    if (OnStateActivate)
        OnStateActivate(*this);
}

void TSioCustomState::Deactivate()
{
    active_ = false;
    finished_ = true;
    Invalidate();
    if (machine_)
        machine_->LiveDataSource().StateDeactivate(*this);
}

void TSioCustomState::Terminate(int /*errorCode*/)
{
    if (machine_)
        machine_->Cancel();
}

void TSioCustomState::SetGlyphCells(int value)
{
    if (value >= 0 && value <= 3 && value != glyphCells_) {
        glyphCells_ = value;
        Invalidate();
    }
}

void TSioCustomState::SetActiveColor(TColor c)
{
    if (c != activeColor_) {
        activeColor_ = c;
        Invalidate();
    }
}

void TSioCustomState::SetInactiveColor(TColor c)
{
    if (c != inactiveColor_) {
        inactiveColor_ = c;
        Invalidate();
    }
}

void TSioCustomState::SetCaption(const std::string& s)
{
    if (s != caption_) {
        caption_ = s;
        Invalidate();
    }
}

void TSioCustomState::SetBounds(int left, int top, int width, int height)
{
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    Invalidate();
    if (machine_)
        machine_->Invalidate();
}

int TSioCustomState::GlyphCell() const
{
    if (glyphCells_ < 2)
        return -1;
    if (active_)
        return 1;
    if (finished_ && glyphCells_ == 3)
        return 2;
    return 0;
}

TColor TSioCustomState::BackgroundColor() const
{
    if (active_)
        return activeColor_;
    if (hasGlyph_ && machine_)
        return machine_->Color;
    return inactiveColor_;
}

// ---------------------------------------------------------------------------
// Machine

TSioCustomStateMachine::TSioCustomStateMachine(TSioBaseComponent* owner)
    : TSioBaseScrollingWinControl(owner), builtIn_(std::make_unique<TSioStateComPortSource>(this))
{
    builtIn_->SetComPort(SearchComPort(owner));
    builtIn_->SetStateMachine(this);
    // Sources on the same owner that serve no machine yet serve this one.
    if (owner)
        for (TSioBaseComponent* c : owner->Components())
            if (auto* s = dynamic_cast<TSioStateCustomDataSource*>(c); s && !s->StateMachine())
                s->SetStateMachine(this);
    EnsureTarget();
}

TSioCustomStateMachine::~TSioCustomStateMachine()
{
    pf::guarded("state machine", [&] {
        // Whatever the pause count: a machine going away leaves no packet
        // and no handler behind.
        DoDeactivate(true);
        running_ = false;
        LiveDataSource().StateMachineStop();
    });
    for (TSioCustomState* s : states_)
        s->machine_ = nullptr;
    states_.clear();
    if (target_ && pf::hasMessageLoop())
        pf::messageLoop().destroyTarget(target_);
    target_ = 0;
    if (dataSource_)
        RemoveFreeNotification(dataSource_);
    builtIn_.reset();
}

void TSioCustomStateMachine::EnsureTarget()
{
    if (target_ || !pf::hasMessageLoop())
        return;
    target_ = pf::messageLoop().createTarget([this](const pf::Message& m) -> std::intptr_t {
        if (m.msg == kMsgStateChange)
            HandleStateChange(static_cast<int>(m.wParam), static_cast<std::uint64_t>(m.lParam));
        return 0;
    });
}

void TSioCustomStateMachine::Notification(TSioBaseComponent* removed)
{
    if (removed == dataSource_)
        dataSource_ = nullptr;
}

void TSioCustomStateMachine::Inserted(TSioBaseComponent* inserted)
{
    // The built-in source belongs to the machine but serves the owner's port.
    if (builtIn_)
        builtIn_->Inserted(inserted);
}

TSioStateCustomDataSource& TSioCustomStateMachine::LiveDataSource() const
{
    return dataSource_ ? *dataSource_ : *builtIn_;
}

void TSioCustomStateMachine::SetDataSource(TSioStateCustomDataSource* source)
{
    if (source == dataSource_)
        return;
    if (dataSource_)
        RemoveFreeNotification(dataSource_);
    dataSource_ = source;
    if (dataSource_)
        FreeNotification(dataSource_);
}

TSioCustomComPort* TSioCustomStateMachine::GetComPort() const
{
    if (auto* s = dynamic_cast<TSioStateComPortSource*>(&LiveDataSource()))
        return s->GetComPort();
    return builtIn_->GetComPort();
}

void TSioCustomStateMachine::SetComPort(TSioCustomComPort* port)
{
    if (auto* s = dynamic_cast<TSioStateComPortSource*>(dataSource_))
        s->SetComPort(port);
    builtIn_->SetComPort(port);
}

bool TSioCustomStateMachine::Paused() const
{
    return LiveDataSource().Paused();
}

void TSioCustomStateMachine::Pause()
{
    LiveDataSource().Pause();
    builtIn_->Pause();
}

void TSioCustomStateMachine::Resume()
{
    LiveDataSource().Resume();
    builtIn_->Resume();
}

void TSioCustomStateMachine::Start()
{
    EnsureTarget();
    TSioStateCustomDataSource& source = LiveDataSource();
    if (auto* ps = dynamic_cast<TSioStateComPortSource*>(&source); ps && !ps->GetComPort())
        throw EPortNotAssigned(ecodes::ecPortNotAssigned);
    // Refused before anything changes: a refused start leaves no handler
    // behind and a running machine running.
    if (!StartState)
        throw EStateMachine(ecStartStateNotSet);
    // A machine started again leaves its current state first.
    DoDeactivate(true);
    try {
        source.StateMachineStart(this);
    } catch (...) {
        running_ = false;
        source.StateMachineStop();
        throw;
    }
    {
        std::lock_guard lock(pendingMutex_);
        pending_.clear();
    }
    lastError_ = 0;
    running_ = true;
    DoActivate(*StartState);
}

void TSioCustomStateMachine::ChangeState(int conditionIndex)
{
    PostStateChange(conditionIndex, generation_.load());
}

void TSioCustomStateMachine::PostStateChange(int conditionIndex, std::uint64_t generation, const void* data,
                                             std::int32_t size)
{
    if (Paused() || !target_)
        return;
    PendingData pd{generation, conditionIndex, {}, data != nullptr};
    if (data && size > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        pd.bytes.assign(bytes, bytes + size);
    }
    {
        std::lock_guard lock(pendingMutex_);
        std::erase_if(pending_, [&](const PendingData& p) { return p.generation != generation_.load(); });
        pending_.push_back(std::move(pd));
    }
    PostStateChange(conditionIndex, generation);
}

void TSioCustomStateMachine::PostStateChange(int conditionIndex, std::uint64_t generation)
{
    if (Paused() || !target_)
        return;
    pf::messageLoop().post(target_, pf::Message{kMsgStateChange, static_cast<std::uintptr_t>(conditionIndex),
                                                static_cast<std::intptr_t>(generation)});
}

void TSioCustomStateMachine::Cancel()
{
    if (Paused())
        return;
    DoDeactivate(false);
    current_ = nullptr;
    if (running_) {
        running_ = false;
        LiveDataSource().StateMachineStop();
    }
}

void TSioCustomStateMachine::DoActivate(TSioCustomState& state)
{
    if (Paused())
        return;
    // Messages posted for the state before are stale from here on.
    generation_.fetch_add(1);
    TSioStateCustomDataSource& source = LiveDataSource();
    const int n = state.Conditions().Count();
    if (n > 0 && &state != TerminalState) {
        try {
            // Current before its conditions listen: bytes already waiting,
            // announced as a condition's packet starts listening, are the
            // state's.
            current_ = &state;
            for (int i = 0; i < n; ++i)
                source.StateMachineActivate(state, state.Conditions().Items(i), i);
            state.Activate();
        } catch (...) {
            // A state that cannot be entered ends the run.
            generation_.fetch_add(1);
            source.StateMachineDeactivate(state);
            current_ = nullptr;
            running_ = false;
            source.StateMachineStop();
            throw;
        }
        return;
    }
    current_ = &state;
    state.Activate();
    Finish();
}

void TSioCustomStateMachine::Finish()
{
    running_ = false;
    LiveDataSource().StateMachineStop();
    if (OnStateMachineFinish)
        OnStateMachineFinish(*this, lastError_);
}

void TSioCustomStateMachine::DoDeactivate(bool force)
{
    if (!force && Paused())
        return;
    TSioCustomState* s = current_.load();
    if (!s)
        return;
    generation_.fetch_add(1);
    LiveDataSource().StateMachineDeactivate(*s);
    s->Deactivate();
}

void TSioCustomStateMachine::HandleStateChange(int index, std::uint64_t generation)
{
    pf::guarded("state machine", [&] {
        TSioCustomState* from = current_.load();
        if (Paused() || !running_ || !from || generation != generation_.load())
            return;
        TSioStateCondition& condition = from->Conditions().Items(index);
        TSioCustomState* next = condition.GetNextState();
        TSioStateCustomDataSource& source = LiveDataSource();
        // The data that met this condition (not that of one posted beside it).
        {
            std::lock_guard lock(pendingMutex_);
            for (const PendingData& p : pending_)
                if (p.generation == generation && p.index == index) {
                    const std::string text(p.bytes.begin(), p.bytes.end());
                    SetData(p.hasData ? static_cast<const void*>(p.bytes.data()) : nullptr, text,
                            static_cast<std::int32_t>(p.bytes.size()));
                    break;
                }
            pending_.clear();
        }
        // From here on the state is left: no second message may start
        // another transition out of it.
        generation_.fetch_add(1);
        source.StateChange(from, next);
        if (from->OnStateFinish)
            from->OnStateFinish(*from, condition, next);
        DoDeactivate(true);
        if (OnStateChange)
            OnStateChange(*this, from, next);
        if (!condition.OutputOnActivate.empty())
            source.Output(condition.OutputOnActivate);
        if (next && next->Machine() == this) {
            DoActivate(*next);
        } else {
            // No state to go to: the dialogue ends here.
            current_ = nullptr;
            Finish();
        }
    });
}

void TSioCustomStateMachine::SetData(const void* data, const std::string& dataString, std::int32_t size)
{
    // A copy: the packet that delivered the bytes is freed after the
    // transition, the machine's Data stays readable.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes && size > 0)
        dataCopy_.assign(bytes, bytes + size);
    else
        dataCopy_.clear();
    data_ = bytes ? dataCopy_.data() : nullptr;
    dataString_ = dataString;
    dataSize_ = size;
}

std::vector<std::string> TSioCustomStateMachine::GetStateNames() const
{
    std::vector<std::string> names;
    if (const TSioBaseComponent* o = Owner())
        for (TSioBaseComponent* c : o->Components())
            if (auto* s = dynamic_cast<TSioCustomState*>(c); s && s->Machine() == this)
                names.push_back(s->Name);
    return names;
}

void TSioCustomStateMachine::AddState(TSioCustomState& s)
{
    states_.push_back(&s);
    Invalidate();
}

void TSioCustomStateMachine::RemoveState(TSioCustomState& s)
{
    if (current_.load() == &s) {
        DoDeactivate(true);
        current_ = nullptr;
        if (running_) {
            running_ = false;
            LiveDataSource().StateMachineStop();
        }
    }
    // The dispatch thread may have picked the state up just before.
    LiveDataSource().WaitForHandlers();
    std::erase(states_, &s);
    if (StartState == &s)
        StartState = nullptr;
    if (TerminalState == &s)
        TerminalState = nullptr;
    // Transitions into the state disappear, last to first.
    for (TSioCustomState* other : states_) {
        TSioStateConditions& cs = other->Conditions();
        for (int i = cs.Count() - 1; i >= 0; --i)
            if (cs.Items(i).GetNextState() == &s)
                cs.Delete(i);
    }
    Invalidate();
}

TSioCustomState* TSioCustomStateMachine::StateAt(int x, int y) const
{
    for (auto it = states_.rbegin(); it != states_.rend(); ++it) {
        const TSioCustomState* s = *it;
        if (x >= s->Left() && x < s->Left() + s->Width() && y >= s->Top() && y < s->Top() + s->Height())
            return *it;
    }
    return nullptr;
}

namespace {

// Where the ray from the box's centre towards (tx, ty) leaves the box.
void ClipToBox(const TSioCustomState& s, double tx, double ty, double& x, double& y)
{
    const double cx = s.Left() + s.Width() / 2.0, cy = s.Top() + s.Height() / 2.0;
    const double dx = tx - cx, dy = ty - cy;
    const double hw = s.Width() / 2.0, hh = s.Height() / 2.0;
    double t = 1.0;
    if (dx != 0)
        t = std::min(t, hw / std::abs(dx));
    if (dy != 0)
        t = std::min(t, hh / std::abs(dy));
    x = cx + dx * t;
    y = cy + dy * t;
}

double SegmentDistance(double px, double py, double x1, double y1, double x2, double y2)
{
    const double dx = x2 - x1, dy = y2 - y1;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - x1) * dx + (py - y1) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (x1 + t * dx), py - (y1 + t * dy));
}

} // namespace

bool TSioCustomStateMachine::ConnectoidPath(const TSioStateCondition& c, TConnectoidPath& path) const
{
    const TSioCustomState& from = c.State();
    const TSioCustomState* to = c.GetNextState();
    if (!to || from.Machine() != this || to->Machine() != this)
        return false;
    // Several transitions between the same two states lie side by side.
    int rank = 0;
    for (int i = 0; i < c.Index(); ++i)
        if (from.Conditions().Items(i).GetNextState() == to)
            ++rank;
    if (to == &from) {
        // A circle on the right edge, most of it outside the state; the
        // arrow comes back in where it meets the edge below.
        const double r = 12 + 8 * rank;
        const double right = from.Left() + from.Width();
        const double cy = from.Top() + from.Height() / 2.0;
        path.Loop = true;
        path.LoopRect[0] = right - 0.6 * r;
        path.LoopRect[1] = cy - r;
        path.LoopRect[2] = 2 * r;
        path.LoopRect[3] = 2 * r;
        path.X2 = right;
        path.Y2 = cy + 0.92 * r;
        path.X1 = right + 0.4 * r; // the circle's lowest point
        path.Y1 = cy + r;
        path.CaptionX = right + 1.4 * r + 3;
        path.CaptionY = cy;
        path.NormalX = 1;
        path.NormalY = 0;
        return true;
    }
    const double ax = from.Left() + from.Width() / 2.0, ay = from.Top() + from.Height() / 2.0;
    const double bx = to->Left() + to->Width() / 2.0, by = to->Top() + to->Height() / 2.0;
    double len = std::hypot(bx - ax, by - ay);
    if (len < 1)
        len = 1;
    // Offset to the left of the direction, so that A->B and B->A part.
    const double off = 6 + 10 * rank;
    const double nx = (by - ay) / len * off, ny = -(bx - ax) / len * off;
    ClipToBox(from, bx + nx, by + ny, path.X1, path.Y1);
    ClipToBox(*to, ax + nx, ay + ny, path.X2, path.Y2);
    path.X1 += nx, path.Y1 += ny, path.X2 += nx, path.Y2 += ny;
    path.NormalX = nx / off;
    path.NormalY = ny / off;
    path.CaptionX = (path.X1 + path.X2) / 2 + path.NormalX * 4;
    path.CaptionY = (path.Y1 + path.Y2) / 2 + path.NormalY * 4;
    return true;
}

std::vector<TSioStateCondition*> TSioCustomStateMachine::ConnectoidsAt(int x, int y) const
{
    std::vector<TSioStateCondition*> hits;
    for (TSioCustomState* s : states_) {
        for (int i = 0; i < s->Conditions().Count(); ++i) {
            TSioStateCondition& c = s->Conditions().Items(i);
            TConnectoidPath p;
            if (!c.Connectoid() || !ConnectoidPath(c, p))
                continue;
            const double reach = c.Connectoid()->GetWidth() / 2.0 + 3;
            double d;
            if (p.Loop) {
                const double r = p.LoopRect[2] / 2;
                d = std::abs(std::hypot(x - (p.LoopRect[0] + r), y - (p.LoopRect[1] + r)) - r);
                if (x < p.X2) // the part inside the state is hidden
                    d = reach + 1;
            } else {
                d = SegmentDistance(x, y, p.X1, p.Y1, p.X2, p.Y2);
            }
            if (d <= reach)
                hits.push_back(&c);
        }
    }
    return hits;
}

bool TSioCustomStateMachine::ClickConnectoids(int x, int y, bool shift, bool ctrl)
{
    std::vector<TSioStateCondition*> hits = ConnectoidsAt(x, y);
    std::vector<TSioStateConnectoid*> newly;
    if (!shift && !ctrl)
        for (TSioCustomState* s : states_)
            for (int i = 0; i < s->Conditions().Count(); ++i)
                if (TSioStateConnectoid* k = s->Conditions().Items(i).Connectoid())
                    k->Highlighted = false;
    for (TSioStateCondition* c : hits) {
        TSioStateConnectoid* k = c->Connectoid();
        if (ctrl) {
            k->Highlighted = false;
        } else if (!k->Highlighted) {
            k->Highlighted = true;
            newly.push_back(k);
        }
    }
    if (!DesignMode && OnConnectoidClick)
        for (TSioStateConnectoid* k : newly)
            OnConnectoidClick(*this, *k);
    Invalidate();
    return true;
}

} // namespace sio
