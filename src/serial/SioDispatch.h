// The dispatcher: the per-port engine under the serial port component.
//
// One dispatcher exists for each open port. It owns the device, the 8192-byte
// circular dispatch buffer of received bytes, the circular output buffer, the
// shadow of the line settings, the modem-status and line-error shadows, the
// trigger and handler lists, the trace and the dispatch log, and the I/O
// queue between its threads. Everything here is device-independent; the
// device operations are virtual and filled in by TSioPosixDispatcher
// (SioPosix.h), which also runs the reader, dispatch, writer and status
// threads.
//
// Results: 0 or a positive count on success, a negative library error code
// (SioExcept.h) on failure; the port component turns those into exceptions.
//
// Threads: the port component calls in on the main thread; the dispatch
// thread runs DispatchInputPass/DispatchTimerPass (extraction, trigger
// checks, notifications), and the reader runs DispatchInputPass for a block
// it just read while the dispatch thread is idle (never both at once);
// handlers read back with GetChar/GetBlock while they run. Locks, always taken in this order when nested: input lock, then the
// dispatcher lock; the output lock is never held together with another.
#pragma once

#include "platform/message_loop.h"
#include "platform/serial_device.h"
#include "serial/SioMisc.h"
#include "serial/SioQueue.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/SioExcept.h"

namespace sio {

using kyd::platform::LineSettings;
using kyd::platform::Parity;

// Notification messages (first argument of every handler call).
inline constexpr std::uint32_t kMsgTriggerAvail = 32257;
inline constexpr std::uint32_t kMsgTriggerData = 32258;
inline constexpr std::uint32_t kMsgTriggerTimer = 32259;
inline constexpr std::uint32_t kMsgTriggerStatus = 32260;

inline constexpr std::uint32_t kDispatchBufferSize = 8192;
inline constexpr std::uint32_t kMaxTraceSize = 4000000;
inline constexpr std::size_t kMaxDataTriggerLen = 21;
// The I/O queue holds at most this many bytes; the reader stops reading the
// device while it is full (the driver's flow control takes over).
inline constexpr std::int64_t kIOQueueLimit = 256 * 1024;

// Opening a device that the user may not open; the dispatcher also keeps the
// system's reason in LastDeviceErrorText().
inline constexpr int ecPermissionDenied = ecodes::ecPermissionDenied;

// Line-error bits (Win32 numbering, as GetLineError decodes them).
inline constexpr std::uint32_t kLeRxOver = 1, kLeOverrun = 2, kLeParity = 4, kLeFrame = 8, kLeBreak = 16;
inline constexpr std::uint32_t kLeDeviceError = 0xFFFFFFFFu;

// Comm-event bits carried by status blocks in the I/O queue.
inline constexpr std::uint32_t EV_RXCHAR = 0x1, EV_CTS = 0x8, EV_DSR = 0x10, EV_RLSD = 0x20,
                               EV_BREAK = 0x40, EV_ERR = 0x80, EV_RING = 0x100, EV_RING_TE = 0x2000;

// Line-state shadow: the settings plus the modem-line control fields.
enum TLineControl : std::uint8_t { lcDisable = 0, lcEnable = 1, lcHandshake = 2, lcToggle = 3 };
struct TLineState {
    LineSettings Line;                   // baud, data bits, parity, stop bits, flow
    std::uint8_t DtrControl = lcEnable;  // lcDisable / lcEnable / lcHandshake
    std::uint8_t RtsControl = lcEnable;  // lcDisable / lcEnable / lcHandshake / lcToggle
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
};

// Trigger handles and records -----------------------------------------------

enum TTriggerType : std::uint8_t { ttNone = 0, ttTimer = 2, ttData = 3, ttStatus = 4 };
enum TStatusKind : std::uint8_t { stNotActive = 0, stModem = 1, stLine = 2, stOutFree = 3, stOutUsed = 4, stOutSent = 5 };

struct TTimerTrigger {
    std::uint32_t Handle = 0;
    EventTimer Timer;
    Ticks Duration = 0;
    bool Active = false;
};

struct TDataTrigger {
    std::uint32_t Handle = 0;
    std::uint32_t Length = 0;
    std::array<std::uint8_t, kMaxDataTriggerLen> Match{}; // partial-match counters per slot
    bool Matched = false;
    bool IgnoreCase = false;
    std::array<std::uint8_t, kMaxDataTriggerLen> Data{};
};

struct TStatusTrigger {
    std::uint32_t Handle = 0; // handle + kind
    std::uint8_t Kind = stNotActive;
    std::uint16_t Value = 0;
    bool Armed = false;
    bool Hit = false;
};

// Saved triggers (kept across a change of port number).
struct TTriggerSave {
    std::uint32_t LengthTrigger = 0;
    std::vector<TTimerTrigger> Timers;
    std::vector<TDataTrigger> Datas;
    std::vector<TStatusTrigger> Statuses;
    bool Valid = false;
};

// Handlers --------------------------------------------------------------------

// (message, second argument, third argument): second is a handle or a count,
// third is port index * 65536 + data.
using TTriggerProc = void (*)(std::uint32_t msg, std::uint32_t second, std::int32_t third);
using TTriggerMethod = std::function<void(std::uint32_t msg, std::uint32_t second, std::int32_t third)>;

// Dispatch log ----------------------------------------------------------------

enum TDispatchType : std::uint8_t {
    dtNone = 0, dtDispatch = 1, dtTrigger = 2, dtError = 3, dtThread = 4, dtTriggerAlloc = 5,
    dtTriggerDispose = 6, dtTriggerHandlerAlloc = 7, dtTriggerHandlerDispose = 8,
    dtTriggerDataChange = 9, dtTelnet = 10, dtFax = 11, dtXModem = 12, dtYModem = 13,
    dtZModem = 14, dtKermit = 15, dtAscii = 16, dtBPlus = 17, dtPacket = 18, dtUser = 19,
    dtScript = 20,
};

enum TDispatchSubType : std::uint16_t {
    dstNone = 0, dstReadCom = 1, dstWriteCom = 2, dstLineStatus = 3, dstModemStatus = 4,
    dstAvail = 5, dstTimer = 6, dstData = 7, dstStatus = 8, dstThreadStart = 9,
    dstThreadExit = 10, dstThreadSleep = 11, dstThreadWake = 12, dstDataTrigger = 13,
    dstTimerTrigger = 14, dstStatusTrigger = 15, dstAvailTrigger = 16, dstWndHandler = 17,
    dstProcHandler = 18, dstEventHandler = 19,
    // Entries of the data packets (type dtPacket).
    dstPacketEnable = 20, dstPacketDisable = 21, dstPacketStartString = 22, dstPacketEndString = 23,
    dstPacketIdle = 24, dstPacketWaiting = 25, dstPacketCollecting = 26, dstPacketString = 27,
    dstPacketSize = 28, dstPacketTimeout = 29,
};
// The library message numbers of the dispatch log's texts.
inline constexpr int kMsgDispatchTypeBase = 15001;   // + type
inline constexpr int kMsgDispatchSubTypeBase = 15100; // + subtype (0 has no text)
inline constexpr int kMsgLogHeader = 15501;           // and 15502 below it
inline constexpr int kMsgModemTagBase = 15601;        // + bit

// What the dispatch-log header shows; tests inject fixed values.
struct TDispatchLogEnvironment {
    std::string Compiler;       // empty: the compiler this was built with
    std::string OperatingSystem; // empty: the running system's name
    std::string DateTime;       // empty: now, "dd/mm/yy, hh:mm:ss"
};
void SetDispatchLogEnvironment(const TDispatchLogEnvironment& env);
// The compiler name and version written after "Compiler : ".
std::string CompilerName();

// -----------------------------------------------------------------------------

class TSioBaseDispatcher {
public:
    explicit TSioBaseDispatcher(void* owner = nullptr);
    TSioBaseDispatcher(const TSioBaseDispatcher&) = delete;
    TSioBaseDispatcher& operator=(const TSioBaseDispatcher&) = delete;
    virtual ~TSioBaseDispatcher();

    // --- lifecycle (main thread) ---
    // options: 1 DTR on, 2 RTS on, 16 DTR under flow control, 32 RTS under
    // flow control.
    int InitPort(const std::string& name, std::uint32_t baud, Parity parity, std::uint16_t dataBits,
                 std::uint16_t stopBits, std::uint32_t inSize, std::uint32_t outSize, std::uint32_t options);
    // Closes the port. When a notification is running (called from inside a
    // handler), the close is deferred: the other threads are stopped now, the
    // dispatch thread ends when the handler returns, and once the last thread
    // has ended the close-done callback runs on the main thread, which calls
    // FinishDeferredClose().
    int DonePort();
    // True while a deferred close is waiting for the dispatch thread.
    bool ClosePending() const { return closePending_.load(); }
    // Finishes a deferred close (main thread): joins the dispatch thread and
    // closes the device. Harmless when nothing is pending.
    void FinishDeferredClose();
    // Called on the main thread (posted through the message loop) once the
    // last thread ended after a deferred close. The port component posts its
    // deferred-close message from here.
    void SetCloseDoneCallback(std::function<void()> cb);
    bool ThreadsActive() const { return threadsActive_.load(); }
    int ThreadCount() const { return threadCount_.load(); }
    bool IsOpen() const { return portOpen_.load(); }
    // The line is gone (the peer hung up, the adapter was pulled): the
    // device's reader, writer and status threads have ended, writes are
    // refused, and the dispatch thread keeps running the timers until the
    // port is closed.
    bool LineLost() const { return lineLost_.load(); }

    int PortIndex() const { return portIndex_; }
    void* Owner() const { return owner_; }
    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& n) { deviceName_ = n; }
    std::uint32_t LastDeviceError() const { return lastDeviceError_.load(); }
    std::string LastDeviceErrorText() const;

    // --- line settings ---
    // baud 0, parity > 4, stop bits 3 and data bits 9 mean unchanged.
    int SetLine(std::uint32_t baud, int parity, std::uint16_t stopBits, std::uint16_t dataBits);
    int GetLine(std::uint32_t& baud, Parity& parity, std::uint16_t& dataBits, std::uint16_t& stopBits);
    int ChangeBaud(std::uint32_t baud) { return SetLine(baud, 5, 3, 9); }
    int SetCommBuffers(std::uint32_t inSize, std::uint32_t outSize);
    const TLineState& LineState() const { return lineState_; }

    // --- modem lines and status ---
    int SetDtr(bool on);
    int SetRts(bool on);
    int SetModem(bool dtr, bool rts);
    // Reads the modem lines into the shadow (a level that differs from the
    // shadow's sets its delta bit), returns the shadow and then keeps only
    // its bits in clearMask.
    std::uint8_t GetModemStatusPrim(std::uint8_t clearMask);
    std::uint8_t GetModemStatus() { return GetModemStatusPrim(0xF0); }
    bool CheckCTS();
    bool CheckDSR();
    bool CheckRI();
    bool CheckDCD();
    bool CheckDeltaCTS();
    bool CheckDeltaDSR();
    bool CheckDeltaRI();
    bool CheckDeltaDCD();
    void MapEventsToMS(std::uint32_t events);
    void RefreshStatus();
    int GetLineError();
    bool CheckLineBreak();
    std::uint32_t LineErrors() const;
    int SendBreak(Ticks ticks, bool yield);
    int SetBreak(bool on);

    // --- reading (any thread; handlers during notifications) ---
    std::uint32_t InBuffUsed();
    std::uint32_t InBuffFree();
    bool CharReady();
    int PeekChar(std::uint8_t& c, std::uint32_t n);
    int GetChar(std::uint8_t& c);
    int PeekBlock(std::uint8_t* block, std::uint32_t len);
    int GetBlock(std::uint8_t* block, std::uint32_t len);
    int FlushInBuffer();

    // --- writing ---
    int PutBlock(const std::uint8_t* block, std::uint32_t len);
    int PutChar(std::uint8_t c) { return PutBlock(&c, 1); }
    int PutString(const std::string& s)
    {
        return PutBlock(reinterpret_cast<const std::uint8_t*>(s.data()), static_cast<std::uint32_t>(s.size()));
    }
    std::uint32_t OutBuffUsed();
    std::uint32_t OutBuffFree();
    int FlushOutBuffer();
    void BufferSizes(std::uint32_t& in, std::uint32_t& out) const;

    // --- flow control ---
    int HWFlowOptions(std::uint32_t bufferFull, std::uint32_t bufferResume, std::uint32_t options);
    int HWFlowState();
    int SWFlowEnable(std::uint32_t bufferFull, std::uint32_t bufferResume, std::uint32_t options);
    int SWFlowDisable();
    int SWFlowState();
    int SWFlowChars(std::uint8_t xon, std::uint8_t xoff);
    int GetFlowOptions(std::uint32_t& hw, std::uint32_t& sw, std::uint8_t& xon, std::uint8_t& xoff);

    // --- other ---
    int SetDataPointer(void* p, int slot);
    int GetDataPointer(void*& p, int slot);
    void OptionsOn(std::uint32_t bits);
    void OptionsOff(std::uint32_t bits);
    bool OptionsAreOn(std::uint32_t bits) const;
    int SetRS485Mode(bool on);
    void SetBaseAddress(std::uint16_t a) { baseAddress_ = a; }
    std::uint16_t GetBaseAddress() const { return baseAddress_; }
    virtual void SetThreadBoost(std::uint8_t boost);
    // Holds the trigger handlers back (true) or lets them go again; returns
    // the previous state. While held, received bytes still reach the
    // dispatch buffer, but no trigger is checked and no handler is called.
    bool SetEventBusy(bool busy);
    // Blocks until done() holds or timeoutMs (process clock; < 0 = no limit)
    // has passed; new input in the dispatch buffer makes it look again. With
    // pump (main thread only) the message loop runs meanwhile. Returns
    // done().
    bool WaitForInput(const std::function<bool()>& done, std::int64_t timeoutMs, bool pump);
    void SaveTriggers(TTriggerSave& save);
    void RestoreTriggers(const TTriggerSave& save);
    static void ClearSaveBuffers(TTriggerSave& save);

    // --- triggers and handlers ---
    int AddTimerTrigger();
    // startTicks >= 0 (earlier than now): the activated timer counts from
    // then, and may have expired already.
    int SetTimerTrigger(std::uint32_t handle, Ticks ticks, bool activate, Ticks startTicks = -1);
    int ExtendTimer(std::uint32_t handle, Ticks ticks);
    int TimerTicksRemaining(std::uint32_t handle, Ticks& ticks);
    int AddDataTriggerLen(const std::uint8_t* data, bool ignoreCase, std::uint32_t len);
    int AddDataTrigger(const std::string& s, bool ignoreCase);
    int AddStatusTrigger(std::uint32_t kind);
    int SetStatusTrigger(std::uint32_t handle, std::uint32_t value, bool activate);
    int ChangeLengthTrigger(std::uint32_t len);
    std::uint32_t LengthTrigger() const;
    int RemoveTrigger(std::uint32_t handle);
    void RemoveAllTriggers();
    void ResetDataTriggers();
    void ResetStatusHits();
    static int ClassifyStatusTrigger(std::uint32_t handle) { return static_cast<int>(handle & 7); }
    TTriggerType TriggerTypeOf(std::uint32_t handle);

    int RegisterWndTriggerHandler(kyd::platform::TargetId window);
    int RegisterProcTriggerHandler(TTriggerProc proc);
    // key identifies the method for deregistration (usually the object).
    int RegisterEventTriggerHandler(const void* key, TTriggerMethod method);
    int RegisterSyncEventTriggerHandler(const void* key, TTriggerMethod method);
    int DeregisterWndTriggerHandler(kyd::platform::TargetId window);
    int DeregisterProcTriggerHandler(TTriggerProc proc);
    int DeregisterEventTriggerHandler(const void* key);
    // kind 1: the port's own window wants notices, 2: it wants none, 0:
    // unchanged. portMessages (with kind 1) names the notices its window acts
    // on (kPortWants*); the others reach it only along with other windows.
    void UpdateHandlerFlags(int kind, std::uint32_t portMessages = kPortWantsAll);
    static constexpr std::uint32_t kPortWantsAvail = 1, kPortWantsData = 2, kPortWantsTimer = 4,
                                   kPortWantsStatus = 8, kPortWantsAll = 15;
    bool HandlersExist() const { return handlersExist_.load(); }
    // The unread bytes are announced again at the next pass, as to a handler
    // registered now (one that left them for later asks for them again).
    void AnnounceWaitingData();

    // Runs fn on the main thread and waits for it (dispatch thread). Returns
    // false when the port closed before fn could run.
    bool Sync(const std::function<void()>& fn);

    // --- dispatch thread (single-threaded tests call these by hand) ---
    bool ExtractData();
    bool SendNotify(std::uint32_t msg, std::uint32_t second, std::int32_t third);
    bool CheckTimerTriggers();
    bool CheckStatusTriggers();
    bool CheckReceiveTriggers();
    bool CheckTriggers();
    void DispatchInputPass();
    void DispatchTimerPass();
    // Milliseconds (process clock) until the earliest active timer trigger
    // expires, -1 when none.
    std::int64_t NextTimerDueMs();

    // --- tracing ---
    int InitTracing(std::uint32_t size);
    void AddTraceEntry(char kind, std::uint8_t byte);
    void StartTracing();
    void StopTracing();
    void ClearTracing();
    void AbortTracing();
    bool TracingOn() const;
    int DumpTrace(const std::string& name, bool inHex, bool allHex) { return WriteTrace(name, inHex, allHex, false); }
    int AppendTrace(const std::string& name, bool inHex, bool allHex) { return WriteTrace(name, inHex, allHex, true); }

    // --- dispatch log ---
    void InitDispatchLogging(std::uint32_t limit);
    void StartDispatchLogging();
    void StopDispatchLogging();
    void ClearDispatchLogging();
    void AbortDispatchLogging();
    bool DLoggingOn() const { return loggingOn_.load(); }
    void AddDispatchEntry(TDispatchType type, TDispatchSubType sub, std::uint32_t data,
                          const std::uint8_t* bytes = nullptr, std::uint32_t count = 0);
    void AddStringToLog(const std::string& s);
    std::uint32_t GetDispatchTime() const;
    int DumpDispatchLog(const std::string& name, bool inHex, bool allHex) { return WriteDispatchLog(name, inHex, allHex, false); }
    int AppendDispatchLog(const std::string& name, bool inHex, bool allHex) { return WriteDispatchLog(name, inHex, allHex, true); }

    // --- device slots ---
    virtual int EscapeComFunction(int func) = 0;
    virtual int FlushCom(int which) = 0;
    virtual std::uint32_t GetComError() = 0;
    virtual int GetComState(TLineState& state) = 0;
    virtual int ReadCom(std::uint8_t* buffer, std::uint32_t len) = 0;
    virtual int SetComState(const TLineState& state) = 0;
    virtual int WriteCom(const std::uint8_t* block, std::uint32_t len) = 0;
    virtual int SetupCom(std::uint32_t inSize, std::uint32_t outSize) = 0;
    virtual int StartDispatcher() = 0;
    virtual void StopDispatcher() = 0;
    virtual std::uint32_t OutBufUsed() = 0;
    virtual std::uint32_t InQueueUsed() { return 0; }
    virtual int OpenCom(const std::string& name, std::uint32_t inSize, std::uint32_t outSize) = 0;
    virtual int CloseCom() = 0;
    virtual void ProcessCommunications() {}
    // Reads the four modem lines as bits 4..7.
    virtual std::uint8_t ReadModemLines() = 0;
    // Tells the device layer that the dispatch buffer has room again.
    virtual void RoomInDispatchBuffer() {}
    // Tells the device layer that a buffer left the I/O queue.
    virtual void QueueConsumed() {}
    // Makes the dispatch thread run a pass soon (a handler was added).
    virtual void WakeDispatchThread() {}

    // Input on the owner's thread: while the owner (the main thread) waits
    // in the message loop for what the port's input brings, it may read the
    // device itself, so the data reaches the handlers without a hand-over
    // from the reader thread. Destroying the returned object ends it (also
    // after the dispatcher is gone). nullptr: the reader thread serves.
    class OwnerInput {
    public:
        virtual ~OwnerInput() = default;
    };
    virtual std::unique_ptr<OwnerInput> BeginOwnerInput() { return nullptr; }

    // Escape functions.
    static constexpr int SETRTS = 3, CLRRTS = 4, SETDTR = 5, CLRDTR = 6, SETBREAK = 8, CLRBREAK = 9;

    // A trigger notification is running (a close asked for now is deferred
    // until it returns).
    bool InNotification() const { return inNotification_.load(); }
    // The calling thread is inside a handler of the running notification
    // (it cannot wait for that notification to end).
    bool InHandlerOnThisThread() const
    {
        return inNotification_.load() && handlerThread_.load() == std::this_thread::get_id();
    }

protected:
    // For the device layer.
    void DonePortPrim();
    int SetCommStateFix(TLineState& state);
    int WaitTxSent();
    void SetLineErrorsAll() { lineErrors_.store(kLeDeviceError); }
    void SetLineLost() { lineLost_.store(true); }
    void OrLineErrors(std::uint32_t bits) { lineErrors_.fetch_or(bits); }
    bool KillThreads() const { return killThreads_.load(); }
    void SetKillThreads(bool v) { killThreads_.store(v); }
    bool CloseRequested() const { return closePending_.load() || killThreads_.load(); }
    TIOQueue& IOQueue() { return ioQueue_; }
    std::uint32_t OutSize() const { return outSize_; }
    // The dispatch buffer is full and the device layer should wait for room.
    bool DispatchBufferFull();
    void SetLastDeviceError(std::uint32_t e, const std::string& text);
    kyd::platform::SyncToken& SyncTokenRef() { return syncToken_; }
    void RunCloseDoneCallback();
    void MarkPortOpen(bool v) { portOpen_.store(v); }
    void MarkFinishCloseOnExit(bool v) { finishCloseOnExit_.store(v); }
    bool FinishCloseOnExit() const { return finishCloseOnExit_.load(); }
    // Output ring bytes (outputLock_ held).
    std::uint32_t OutBufUsedLocked() const;
    // Gives the output ring a new size, keeping the queued bytes (which
    // must fit; outputLock_ held).
    void ResizeOutputLocked(std::uint32_t size);
    // The writer emptied the output buffer: wakes WaitTxSent.
    void NotifyOutputEmpty();
    // Bytes the driver still holds for sending.
    virtual long DriverOutputQueued() { return 0; }
    // Stops the status, writer and reader threads (deferred close).
    virtual void StopIOThreads() {}

    mutable std::recursive_mutex dispatcherLock_;
    std::mutex outputLock_;
    std::recursive_mutex inputLock_;

    // Output buffer (guarded by outputLock_).
    std::vector<std::uint8_t> outBuf_;
    std::uint32_t outHead_ = 0;
    std::uint32_t outTail_ = 0;
    bool outFull_ = false;
    std::uint64_t outGeneration_ = 0; // changes whenever the ring is reset
    std::mutex outEmptyMutex_;
    std::condition_variable outEmptyCv_;
    std::atomic<int> txWaiters_{0}; // threads in WaitTxSent (the main thread pumps)
    // Threads in WaitForInput, woken when input reaches the dispatch buffer.
    std::atomic<int> inputWaiters_{0};
    std::atomic<bool> eventBusy_{false}; // SetEventBusy
    bool HandlersHeld() const { return inNotification_.load() || eventBusy_.load(); }
    std::mutex inputWaitMutex_;
    std::condition_variable inputWaitCv_;
    void NotifyInputWaiters();

    std::atomic<bool> threadsActive_{false};
    std::atomic<int> threadCount_{0};
    std::atomic<bool> closing_{false};

private:
    struct WndHandler {
        kyd::platform::TargetId window = 0;
        bool deleted = false;
    };
    struct ProcHandler {
        TTriggerProc proc = nullptr;
        bool deleted = false;
    };
    struct EventHandler {
        const void* key = nullptr;
        TTriggerMethod method;
        bool deleted = false;
        bool sync = false;
    };
    struct Notice {
        std::uint32_t msg, second;
        std::int32_t third;
    };

    std::uint32_t UsedLocked() const;
    std::uint32_t UnreadLocked() const;
    std::uint32_t NextHandle();
    bool FeedDataTrigger(TDataTrigger& t, std::uint8_t c);
    std::uint32_t HandlersExistCondition() const;
    void HandlerAdded();
    int WriteTrace(const std::string& name, bool inHex, bool allHex, bool append);
    int WriteDispatchLog(const std::string& name, bool inHex, bool allHex, bool append);
    void CloseAfterFailedInit();
    void StatusTriggerLoop();

    void* owner_ = nullptr;
    int portIndex_ = -1;
    std::string deviceName_;
    std::atomic<std::uint32_t> lineErrors_{0};
    std::uint32_t inSize_ = 4096;
    std::uint32_t outSize_ = 4096;
    std::uint32_t wantedOutSize_ = 4096; // outputLock_: the size asked for
    std::atomic<std::uint8_t> modemStatus_{0};
    std::uint32_t commStatusOutCount_ = 0;
    TLineState lineState_;
    std::uint32_t lastBaud_ = 115200;
    std::atomic<std::uint32_t> options_{0};
    bool dtrState_ = false, dtrFlow_ = false, rtsState_ = false, rtsFlow_ = false;
    bool rs485_ = false;
    std::uint16_t baseAddress_ = 0;
    bool portForcesHandlers_ = false;
    std::uint32_t portMessages_ = kPortWantsAll; // with portForcesHandlers_; under dispatcherLock_
    std::atomic<bool> handlersExist_{false};

    std::vector<WndHandler> wndHandlers_;
    std::vector<ProcHandler> procHandlers_;
    std::vector<EventHandler> eventHandlers_;
    std::vector<TTimerTrigger> timerTriggers_;
    std::vector<TDataTrigger> dataTriggers_;
    std::vector<TStatusTrigger> statusTriggers_;

    // Dispatch buffer (guarded by inputLock_).
    std::vector<std::uint8_t> dispBuf_;
    std::uint32_t dispHead_ = 0;
    std::uint32_t dispTail_ = 0;
    bool dispFull_ = false;
    std::uint32_t lastScanned_ = 0;
    std::uint32_t unscanned_ = 0; // bytes after lastScanned_ not yet matched
    std::uint32_t lastAvail_ = 0;
    // A lastAvail_ no head position equals: the waiting bytes are announced again.
    static constexpr std::uint32_t kNoAvailPosition = kDispatchBufferSize;
    bool holdReads_ = false;
    std::uint32_t holdReadCount_ = 0;
    std::uint32_t holdMaximum_ = 0;
    std::uint64_t inputFlushes_ = 0; // FlushInBuffer calls so far

    std::uint32_t lengthTrigger_ = 0;
    bool statusHit_ = false;
    std::atomic<bool> inNotification_{false};
    bool removalPending_ = false;
    std::atomic<bool> closePending_{false};
    std::atomic<bool> dataSent_{false};
    std::atomic<bool> everSent_{false};
    std::atomic<bool> lineLost_{false};
    std::atomic<bool> killThreads_{false};
    std::atomic<bool> ownerStop_{false};
    // The thread running the current handler (none between handlers), and
    // whether a window handler was handed to the main thread: a close from
    // inside a handler must be deferred, one from elsewhere need not be.
    std::atomic<std::thread::id> handlerThread_{};
    std::atomic<bool> windowHandlerPending_{false}; // the owner is closing: no new notifications
    std::atomic<bool> ringSeen_{false};
    std::atomic<bool> portOpen_{false};
    std::atomic<bool> finishCloseOnExit_{false};
    std::uint32_t handleCounter_ = 1;
    std::array<void*, 3> dataPointers_{};
    std::uint8_t threadBoost_ = 0;

    // Trace (guarded by dispatcherLock_).
    std::vector<std::uint8_t> trace_; // pairs of (kind, byte)
    std::uint32_t traceSize_ = 0;
    std::uint32_t traceHead_ = 0;
    bool traceWrapped_ = false;
    std::atomic<bool> tracingOn_{false};

    // Dispatch log.
    std::atomic<bool> loggingOn_{false};
    std::atomic<std::uint32_t> logLimit_{0};
    std::mutex logAddMutex_;
    TIOQueue logQueue_;
    std::int64_t timeBase_ = 0;

    TIOQueue ioQueue_;
    kyd::platform::SyncToken syncToken_;
    std::mutex callbackMutex_;
    std::function<void()> closeDoneCallback_;
    std::atomic<std::uint32_t> lastDeviceError_{0};
    mutable std::mutex errorTextMutex_;
    std::string lastDeviceErrorText_;
};

// Port list ---------------------------------------------------------------------

void LockPortList();
void UnlockPortList();
// The dispatcher registered under that index, or nullptr.
TSioBaseDispatcher* GetTComRecPtr(int index);

} // namespace sio
