// State machine components: a protocol dialogue described as a graph.
//
// A machine holds states; each state has conditions, each naming the data
// that ends the state (start string, end string, packet size, time-out) and
// the state that follows. A data source feeds the machine with the received
// data and carries its output; the standard source works on a serial port
// component and turns every condition of the current state into a data
// packet on the port.
//
// This header is the toolkit-free part. The published TSioStateMachine and
// TSioState are widgets that draw themselves (serial/qt/SioStMachView.h);
// here the machine and its states only keep
// what is drawn (captions, colours, bounds, highlight) and call Invalidate()
// when it changed.
//
// Threads: everything runs on the main thread, except the port source's
// trigger handler, which the dispatcher calls on its dispatch thread; it
// raises the source's and the current state's OnGetData / OnGetDataString
// there. Set those handlers before Start.
//
// Transitions: ChangeState posts the machine's state-change message; the
// transition runs later from the main thread's message loop. The message
// carries the generation of the state it was posted for: a message for a
// state that is no longer current is dropped. Nothing leaves the message
// handler as an exception (errors go to the exception sink).
#pragma once

#include "platform/message_loop.h"
#include "serial/SioMisc.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sio {

class TSioCustomComPort;
class TSioDataPacket;
class TSioBaseDispatcher;
class TSioCustomState;
class TSioCustomStateMachine;
class TSioStateCondition;
class TSioStateConditions;

// Colours as $00BBGGRR.
using TColor = std::uint32_t;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clWhite = 0x00FFFFFF;
inline constexpr TColor clBlue = 0x00FF0000;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clYellow = 0x0000FFFF;
inline constexpr TColor clFuchsia = 0x00FF00FF;
inline constexpr TColor clMaroon = 0x00000080;
inline constexpr TColor clInfoYellow = 0x00BFFFFF;

// The font a connectoid or state writes with; an empty name is the
// widget's own font.
struct TSioFont {
    std::string Name;
    int Size = 8;
    TColor Color = clBlack;
    bool operator==(const TSioFont&) const = default;
};

// The machine's state-change message.
inline constexpr std::uint32_t kMsgStateChange = 32447;

// Errors of the state machine.
inline constexpr int ecNoStateMachine = -7500;
inline constexpr int ecStartStateNotSet = -7501;

using TSioOnDataSourceGetData = std::function<void(void* sender, const std::uint8_t* data, std::int32_t size)>;
using TSioOnDataSourceGetDataString = std::function<void(void* sender, const std::string& data)>;
using TSioOnStateGetData = std::function<void(TSioCustomState& sender, const std::uint8_t* data, std::int32_t size)>;
using TSioOnStateGetDataString = std::function<void(TSioCustomState& sender, const std::string& data)>;
using TSioStateNotifyEvent = std::function<void(TSioCustomState& state)>;
using TSioStateFinishEvent =
    std::function<void(TSioCustomState& state, TSioStateCondition& condition, TSioCustomState*& nextState)>;
using TSioStateMachineFinishEvent = std::function<void(TSioCustomStateMachine& machine, int errorCode)>;
using TSioStateMachineStateChangeEvent =
    std::function<void(TSioCustomStateMachine& machine, TSioCustomState* from, TSioCustomState* to)>;

// ---------------------------------------------------------------------------
// How one transition is drawn.

class TSioStateConnectoid {
public:
    explicit TSioStateConnectoid(TSioStateCondition* condition = nullptr) : condition_(condition) {}
    void Assign(const TSioStateConnectoid& other);

    int GetWidth() const { return width_; }
    void SetWidth(int value);
    const std::string& GetCaption() const { return caption_; }
    void SetCaption(const std::string& value);
    TColor GetColor() const { return color_; }
    void SetColor(TColor value);
    TSioFont Font;
    bool Highlighted = false;
    TSioStateCondition* Condition() const { return condition_; }

private:
    void Changed();
    int width_ = 2;
    std::string caption_ = "Connectoid";
    TColor color_ = clBlue;
    TSioStateCondition* condition_;
};

// ---------------------------------------------------------------------------
// One way out of a state.

class TSioStateCondition {
public:
    explicit TSioStateCondition(TSioStateConditions& collection);
    ~TSioStateCondition();
    TSioStateCondition(const TSioStateCondition&) = delete;
    TSioStateCondition& operator=(const TSioStateCondition&) = delete;

    std::int32_t PacketSize = 0;
    std::int32_t Timeout = 2048; // ticks
    std::int32_t ErrorCode = 0;
    std::string EndString;
    std::string StartString;
    bool IgnoreCase = false;
    bool DefaultError = false;
    bool DefaultNext = false;
    std::string OutputOnActivate;

    TSioCustomState* GetNextState() const { return nextState_; }
    void SetNextState(TSioCustomState* state);
    // The connectoid is owned; setting copies the given one (nullptr drops it).
    TSioStateConnectoid* Connectoid() const { return connectoid_.get(); }
    void SetConnectoid(const TSioStateConnectoid* value);

    // The connectoid's; without one: empty, clNone and the state's font,
    // and writing does nothing.
    std::string GetCaption() const;
    void SetCaption(const std::string& value);
    TColor GetColor() const;
    void SetColor(TColor value);
    TSioFont GetFont() const;
    void SetFont(const TSioFont& value);
    // The caption, or the item's default name ("TSioStateCondition<n>")
    // when that is empty.
    std::string DisplayName() const;

    int Index() const;
    TSioCustomState& State() const;
    // Re-applies the state's bounds so that the machine repaints.
    void Changed();

private:
    TSioStateConditions& collection_;
    TSioCustomState* nextState_ = nullptr;
    std::unique_ptr<TSioStateConnectoid> connectoid_;
};

// A state's conditions, owned by the state.
class TSioStateConditions {
public:
    explicit TSioStateConditions(TSioCustomState& state) : state_(state) {}
    TSioStateCondition& Add();
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises std::out_of_range for an index that does not exist.
    TSioStateCondition& Items(int index) const;
    TSioStateCondition& operator[](int index) const { return Items(index); }
    void Delete(int index);
    void Clear();
    int IndexOf(const TSioStateCondition& c) const;
    TSioCustomState& State() const { return state_; }

private:
    TSioCustomState& state_;
    std::vector<std::unique_ptr<TSioStateCondition>> items_;
};

// ---------------------------------------------------------------------------
// Data sources

class TSioStateCustomDataSource : public TSioBaseComponent {
public:
    explicit TSioStateCustomDataSource(TSioBaseComponent* owner = nullptr);
    ~TSioStateCustomDataSource() override;

    virtual void Output(const std::string& s) = 0;
    virtual void OutputBlock(const void* block, std::int32_t size) = 0;
    virtual void Pause();
    virtual void Resume();
    virtual void StateActivate(TSioCustomState& state) = 0;
    virtual void StateChange(TSioCustomState* oldState, TSioCustomState* newState) = 0;
    virtual void StateDeactivate(TSioCustomState& state) = 0;
    virtual void StateMachineActivate(TSioCustomState& state, TSioStateCondition& condition, int index) = 0;
    virtual void StateMachineDeactivate(TSioCustomState& state) = 0;
    // Raises EStateMachine (-7500) without a machine.
    virtual void StateMachineStart(TSioCustomStateMachine* machine);
    virtual void StateMachineStop();
    // Returns when no call of the dispatch thread is inside the source
    // (a state the handlers may still see is about to go).
    virtual void WaitForHandlers() {}

    bool Paused() const { return pauseCount_.load() > 0; }
    int PauseCount() const { return pauseCount_.load(); }
    TSioCustomStateMachine* StateMachine() const { return machine_.load(); }
    void SetStateMachine(TSioCustomStateMachine* machine);

    // The first machine among the components owned by component, depth
    // first; nullptr when none.
    static TSioCustomStateMachine* SearchStateMachine(const TSioBaseComponent* component);

    TSioOnDataSourceGetData OnGetData;
    TSioOnDataSourceGetDataString OnGetDataString;

protected:
    void Notification(TSioBaseComponent* removed) override;

    std::atomic<TSioCustomStateMachine*> machine_{nullptr};
    std::atomic<int> pauseCount_{0};
};

// The data source on a serial port component.
class TSioStateComPortSource : public TSioStateCustomDataSource {
public:
    // ComPort starts as the first port component found on the owner.
    explicit TSioStateComPortSource(TSioBaseComponent* owner = nullptr);
    ~TSioStateComPortSource() override;

    // Setting it while the machine runs on an open port goes on with the
    // new port's data; a port placed on the owner later is taken up while
    // there is none.
    TSioCustomComPort* GetComPort() const { return comPort_; }
    void SetComPort(TSioCustomComPort* port);

    void Output(const std::string& s) override;
    void OutputBlock(const void* block, std::int32_t size) override;
    void Pause() override;
    void Resume() override;
    void StateActivate(TSioCustomState& state) override;
    void StateChange(TSioCustomState* oldState, TSioCustomState* newState) override;
    void StateDeactivate(TSioCustomState& state) override;
    void StateMachineActivate(TSioCustomState& state, TSioStateCondition& condition, int index) override;
    void StateMachineDeactivate(TSioCustomState& state) override;
    void StateMachineStart(TSioCustomStateMachine* machine) override;
    void StateMachineStop() override;
    void WaitForHandlers() override;

    // For tests: the packets of the current state, those waiting to be
    // freed, and whether the trigger handler is registered.
    const std::vector<TSioDataPacket*>& Packets() const { return packets_; }
    std::size_t RetiredPackets() const;
    bool HandlerRegistered() const { return registeredWith_ != nullptr; }
    std::int32_t ReceiveBufferSize() const { return rxSize_.load(); }

    struct Gate;

protected:
    void Notification(TSioBaseComponent* removed) override;
    void Inserted(TSioBaseComponent* inserted) override;

private:
    friend class TSioCustomStateMachine;
    void RegisterHandler();
    void DeregisterHandler();
    void RetirePackets();
    void PortNotice(bool opened);
    // A condition's packet completed: the other packets stop and the port's
    // packet manager keeps what follows until the next state's packets are
    // armed (ReleaseHeldData).
    void HoldData(TSioDataPacket& completed);
    void ReleaseHeldData();

public:
    // Dispatch thread (through the gate).
    void DataAvailable(TSioBaseDispatcher& d, std::uint32_t count);

private:
    TSioCustomComPort* comPort_ = nullptr;
    std::vector<TSioDataPacket*> packets_; // owned
    struct Bin;
    std::shared_ptr<Bin> bin_; // packets waiting to be freed from the message loop
    std::vector<std::uint8_t> rx_; // dispatch thread only
    std::atomic<std::int32_t> rxSize_{0};
    std::shared_ptr<Gate> gate_;
    TSioBaseDispatcher* registeredWith_ = nullptr;
    bool holding_ = false; // the port's manager holds data for the next state
};

// ---------------------------------------------------------------------------
// A state.

class TSioCustomState : public TSioBaseGraphicControl {
public:
    explicit TSioCustomState(TSioBaseComponent* owner = nullptr);
    ~TSioCustomState() override;

    virtual void Activate();
    virtual void Deactivate();
    // Cancels the state's machine; the code is not used.
    virtual void Terminate(int errorCode);

    bool Active() const { return active_; }
    bool Finished() const { return finished_; }

    TSioStateConditions& Conditions() { return conditions_; }
    const TSioStateConditions& Conditions() const { return conditions_; }
    std::string OutputOnActivate;
    int GetGlyphCells() const { return glyphCells_; }
    void SetGlyphCells(int value); // 0 to 3, others ignored
    TColor GetActiveColor() const { return activeColor_; }
    void SetActiveColor(TColor c);
    TColor GetInactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(TColor c);
    const std::string& GetCaption() const { return caption_; }
    void SetCaption(const std::string& s);
    TSioFont Font;
    bool Movable = false;
    bool ActionState = false;
    bool HasGlyph() const { return hasGlyph_; }

    TSioStateNotifyEvent OnStateActivate;
    TSioStateFinishEvent OnStateFinish;
    TSioOnStateGetData OnGetData;
    TSioOnStateGetDataString OnGetDataString;

    TSioCustomStateMachine* Machine() const { return machine_; }
    virtual void SetMachine(TSioCustomStateMachine* machine);

    // Bounds in the machine's client area (default 75 x 50 at 0, 0).
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    virtual void SetBounds(int left, int top, int width, int height);

    // Which glyph cell the state shows now (-1: the whole glyph).
    int GlyphCell() const;
    // The background the state paints now.
    TColor BackgroundColor() const;

    // Repaint (the view redraws); nothing in the toolkit-free part.
    virtual void Invalidate() {}

protected:
    void SetHasGlyph(bool value) { hasGlyph_ = value; }
    void Notification(TSioBaseComponent* removed) override;

private:
    friend class TSioCustomStateMachine;
    bool active_ = false;
    bool finished_ = false;
    TSioStateConditions conditions_{*this};
    int glyphCells_ = 0;
    TColor activeColor_ = clYellow;
    TColor inactiveColor_ = clWhite;
    std::string caption_;
    bool hasGlyph_ = false;
    TSioCustomStateMachine* machine_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 75, height_ = 50;
};

// ---------------------------------------------------------------------------
// The machine.

enum TAdConnectoidClickStyle : std::uint8_t { ccsHighlight = 1, ccsHint = 2, ccsDashedLine = 4 };
using TAdConnectoidClickStyles = std::uint8_t;
using TSioOnConnectoidClickEvent = std::function<void(TSioCustomStateMachine& sender, TSioStateConnectoid& c)>;

// Where a connectoid is drawn, in the machine's client area: a line from
// (X1, Y1) to (X2, Y2), clipped at the two states' edges, with the arrow
// at (X2, Y2); a self-transition is a loop (an ellipse in LoopRect, x, y,
// w, h) at the state's right edge with the arrow at (X2, Y2). The caption
// goes beside (CaptionX, CaptionY), on the side the unit vector (NormalX,
// NormalY) points to, away from the line.
struct TConnectoidPath {
    bool Loop = false;
    double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    double LoopRect[4] = {0, 0, 0, 0};
    double CaptionX = 0, CaptionY = 0;
    double NormalX = 0, NormalY = -1;
};

class TSioCustomStateMachine : public TSioBaseScrollingWinControl {
public:
    explicit TSioCustomStateMachine(TSioBaseComponent* owner = nullptr);
    ~TSioCustomStateMachine() override;

    // Raises EPortNotAssigned (-1005) without a source or port, and
    // EStateMachine (-7501) without a start state.
    void Start();
    // Posts the state-change message for condition index of the current
    // state; nothing while paused.
    void ChangeState(int conditionIndex);
    // As ChangeState, for a message meant for the state entered at
    // generation (Generation()): dropped when that state is no longer
    // current when the message is handled.
    void PostStateChange(int conditionIndex, std::uint64_t generation);
    // As above, for a condition met by received data: Data, DataString and
    // DataSize take the size bytes at data when (and only when) this
    // transition is taken.
    void PostStateChange(int conditionIndex, std::uint64_t generation, const void* data, std::int32_t size);
    // Deactivates the current state without raising OnStateMachineFinish.
    void Cancel();
    void Pause();
    void Resume();
    bool Paused() const;

    TSioCustomState* StartState = nullptr;
    TSioCustomState* TerminalState = nullptr;
    TSioCustomState* CurrentState() const { return current_.load(); }
    bool Running() const { return running_; }

    TSioStateCustomDataSource* GetDataSource() const { return dataSource_; }
    void SetDataSource(TSioStateCustomDataSource* source);
    // The live source: DataSource, else the built-in port source.
    TSioStateCustomDataSource& LiveDataSource() const;
    TSioStateComPortSource& BuiltInSource() const { return *builtIn_; }
    TSioCustomComPort* GetComPort() const;
    void SetComPort(TSioCustomComPort* port);

    // Names of the owner's components that are states of this machine.
    std::vector<std::string> GetStateNames() const;
    // The states placed in this machine, in the order they were placed.
    const std::vector<TSioCustomState*>& States() const { return states_; }

    // Data keeps a copy of the size bytes at data (nullptr stays nullptr).
    void SetData(const void* data, const std::string& dataString, std::int32_t size);
    const void* Data() const { return data_; }
    const std::string& DataString() const { return dataString_; }
    std::int32_t DataSize() const { return dataSize_; }
    int LastErrorCode() const { return lastError_; }

    std::string Caption;
    TColor Color = clWhite;
    bool MovableStates = false;
    TAdConnectoidClickStyles ConnectoidClickStyle = 0;
    bool SingleBorder = true;
    // Design mode: highlights and hints drawn as if every style were on.
    bool DesignMode = false;

    TSioStateMachineFinishEvent OnStateMachineFinish;
    TSioStateMachineStateChangeEvent OnStateChange;
    TSioOnConnectoidClickEvent OnConnectoidClick;

    // Selecting connectoids under a point of the client area (a click
    // outside every state): shift adds, ctrl removes, neither selects only
    // those. Returns whether anything changed.
    bool ClickConnectoids(int x, int y, bool shift, bool ctrl);
    // The conditions whose connectoid passes within reach of (x, y).
    std::vector<TSioStateCondition*> ConnectoidsAt(int x, int y) const;
    // The drawing of a condition's connectoid; false when it has no next
    // state in this machine.
    bool ConnectoidPath(const TSioStateCondition& c, TConnectoidPath& path) const;
    // The state under a point, or nullptr.
    TSioCustomState* StateAt(int x, int y) const;

    // Repaint (the view redraws); nothing in the toolkit-free part.
    virtual void Invalidate() {}

    // The state-change message (main thread).
    void HandleStateChange(int index, std::uint64_t generation);
    std::uint64_t Generation() const { return generation_.load(); }

protected:
    void Notification(TSioBaseComponent* removed) override;
    void Inserted(TSioBaseComponent* inserted) override;

private:
    friend class TSioCustomState;
    void DoActivate(TSioCustomState& state);
    void DoDeactivate(bool force);
    void Finish();
    void EnsureTarget();
    void AddState(TSioCustomState& s);
    void RemoveState(TSioCustomState& s);

    std::atomic<TSioCustomState*> current_{nullptr};
    std::atomic<std::uint64_t> generation_{1};
    bool running_ = false;
    std::unique_ptr<TSioStateComPortSource> builtIn_;
    TSioStateCustomDataSource* dataSource_ = nullptr;
    std::vector<TSioCustomState*> states_;
    const void* data_ = nullptr;
    std::vector<std::uint8_t> dataCopy_;
    std::string dataString_;
    std::int32_t dataSize_ = 0;
    int lastError_ = 0;
    kyd::platform::TargetId target_ = 0;
    // Data of transitions posted and not yet taken.
    struct PendingData {
        std::uint64_t generation;
        int index;
        std::vector<std::uint8_t> bytes;
        bool hasData;
    };
    std::mutex pendingMutex_;
    std::vector<PendingData> pending_; // guarded by pendingMutex_
};

// ---------------------------------------------------------------------------
// Placing a state that has no machine (what a form designer does when a
// state is dropped elsewhere than on a machine).

// "SioStateMachine" and the smallest number from 1 that no component of
// owner has as its name.
std::string NewStateMachineName(const TSioBaseComponent* owner);

// Puts state into the first machine among owner's components; when there is
// none, creates one on owner (returned in created, which the caller then
// owns), named by NewStateMachineName, and places the state in it at
// (10, 10). Returns the machine the state went to.
TSioCustomStateMachine* PlaceState(TSioCustomState& state, TSioBaseComponent* owner,
                                   std::unique_ptr<TSioCustomStateMachine>& created);

} // namespace sio
