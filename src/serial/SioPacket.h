// Data packets: cutting the received byte stream of one port into packets.
//
// A TSioDataPacket waits for its start condition (a start string, or any
// data), collects until its end condition (an end string, a byte count, or
// both) and raises OnPacket / OnStringPacket, or OnTimeout when the packet is
// not complete within TimeOut ticks. All packets of one port share one
// TSioDataPacketManager, which keeps the received bytes in a growing buffer,
// feeds them byte by byte to its packets and drops what a packet consumed.
//
// The manager talks to the rest of the library only through PacketHost, so
// the matching runs single-threaded in tests (feed any read splits, fire the
// timer by hand) and on the dispatch thread in the program:
//
//   host -> manager (dispatch thread, from the dispatcher's notifications)
//     OnData(bytes, n)     bytes taken from the dispatch buffer on a
//                          "data available" notice
//     OnTimer(handle)      a timer trigger expired
//   host -> manager (main thread, from the port's open/close notices)
//     PortOpened(), PortClosed()
//   manager -> host
//     RegisterHandler / DeregisterHandler   start / stop routing notices
//     AddTimerTrigger / RemoveTrigger / SetTimerTrigger
//     RunEvent(fn, sync)   run an event on the main thread and wait for it
//
// Locking: one mutex per manager guards the manager, its buffer and every
// packet bound to it. Every public operation takes it. The dispatch thread
// holds it while matching and releases it only around RunEvent, so event
// handlers (on the main thread, or on the dispatch thread with SyncEvents
// off) may call any packet operation. While an event is delivered the
// manager is "in an event": enables are deferred until it ends, freeing the
// buffer is deferred until it ends, and a packet removed meanwhile is no
// longer touched. The host must never call into the manager while holding a
// lock that its own operations (RunEvent, SetTimerTrigger, ...) need.
//
// Threads: packets are bound, configured and destroyed on the main thread
// (or from their own event handlers); a manager is destroyed on the main
// thread when it is not in an event (InEvent() false).
//
// Buffer: after each read the bytes no packet can still use are dropped (all
// of them, or those before the earliest partial match), so the buffer holds
// at most the packet being collected, and that is bounded by its MaxSize.
#pragma once

#include "serial/SioMisc.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sio {

class TSioDataPacket;
class TSioDataPacketManager;
class TSioCustomComPort;

enum TPacketStartCond : std::uint8_t { scString, scAnyData };

// TPacketEndSet is a set of TPacketEndCond bits: ecString | ecPacketSize.
enum TPacketEndCond : std::uint8_t { ecString = 1, ecPacketSize = 2 };
using TPacketEndSet = std::uint8_t;

enum TPacketMode : std::uint8_t { dpIdle, dpWaitStart, dpCollecting };

// Data points to the delivered bytes (a copy held by the packet; nullptr
// when Size is 0) and is valid until the next delivery of the packet.
using TPacketNotifyEvent = std::function<void(TSioDataPacket& sender, const std::uint8_t* data, std::int32_t size)>;
using TStringPacketNotifyEvent = std::function<void(TSioDataPacket& sender, const std::string& data)>;
using TPacketTimeoutEvent = std::function<void(TSioDataPacket& sender)>;

// What the packet manager needs of its port and dispatcher.
class PacketHost {
public:
    virtual ~PacketHost() = default;

    // True while the port is open; a manager created then starts enabled.
    virtual bool PortIsOpen() const = 0;

    // From now on (until DeregisterHandler) deliver the dispatcher's "data
    // available" notices as OnData with all announced bytes, consuming them,
    // and timer-trigger expiries as OnTimer, on the dispatch thread.
    virtual void RegisterHandler(TSioDataPacketManager& manager) = 0;
    virtual void DeregisterHandler(TSioDataPacketManager& manager) = 0;

    // Timer triggers of the port's dispatcher; errors raise (CheckException).
    virtual int AddTimerTrigger() = 0;
    virtual void RemoveTrigger(int handle) = 0;
    // Activating with ticks != 0 restarts the timer with that duration;
    // startTicks >= 0 counts it from that earlier tick instead of now.
    virtual void SetTimerTrigger(int handle, Ticks ticks, bool activate, Ticks startTicks = -1) = 0;

    // Runs fn and returns when it has run (or will never run, e.g. because
    // the port is closing). With sync set and a dispatch thread present, fn
    // runs on the main thread while the caller waits; otherwise directly.
    // fn does not throw.
    virtual void RunEvent(const std::function<void()>& fn, bool sync) = 0;
    // Adds an entry of the packets (subtype dstPacket..., with a data word
    // and bytes) to the port's dispatch log, when that is on.
    virtual void Log(std::uint16_t /*subType*/, std::uint32_t /*data*/, const std::uint8_t* /*bytes*/,
                     std::size_t /*count*/)
    {
    }
};

class TSioDataPacket : public TSioBaseComponent {
public:
    // owner: the component whose components the packet is one of; a port
    // placed there later binds the packet when it has none yet.
    explicit TSioDataPacket(TSioBaseComponent* owner = nullptr);
    ~TSioDataPacket() override;

    // The manager the packet is bound to (set by TSioDataPacketManager::Insert).
    TSioDataPacketManager* Manager() const;

    // Binds the packet to a port component (nullptr unbinds): the packet
    // joins the port's manager, created with the first packet of the port
    // (SioPacketList.h). An enabled packet bound to an open port is armed at
    // once. Main thread.
    TSioCustomComPort* GetComPort() const { return comPort_; }
    void SetComPort(TSioCustomComPort* port);

    // --- properties ---
    bool GetEnabled() const;
    // True arms the packet (when its port is open), false disarms it. Raises
    // EInvalidProperty (-5501..-5505) for an inconsistent set of properties;
    // Enabled then stays false.
    void SetEnabled(bool value);

    TPacketStartCond GetStartCond() const;
    void SetStartCond(TPacketStartCond value);
    TPacketEndSet GetEndCond() const;
    void SetEndCond(TPacketEndSet value); // re-arms a running packet
    std::string GetStartString() const;
    void SetStartString(const std::string& value);
    std::string GetEndString() const;
    void SetEndString(const std::string& value); // re-arms a running packet
    std::int32_t GetPacketSize() const;
    void SetPacketSize(std::int32_t value);
    // Ticks of 55 ms; 0 = no time-out.
    std::int32_t GetTimeOut() const;
    void SetTimeOut(std::int32_t value);
    bool GetAutoEnable() const;
    void SetAutoEnable(bool value);
    bool GetIgnoreCase() const;
    void SetIgnoreCase(bool value);
    bool GetIncludeStrings() const;
    void SetIncludeStrings(bool value);
    bool GetSyncEvents() const;
    void SetSyncEvents(bool value);
    bool GetFlushOnTimeout() const;
    void SetFlushOnTimeout(bool value);
    // Most bytes a packet may collect (start and end strings included, and
    // never less than PacketSize with ecPacketSize). A packet that passes it
    // without meeting its end condition ends at once as timed out, with the
    // first MaxSize bytes as what was collected. Kept within 1..kMaxMaxSize.
    // Settings no packet could complete with are refused when they are made
    // (EInvalidProperty "Packet too long", the value unchanged): a
    // PacketSize above kMaxMaxSize, an end string longer than MaxSize, a
    // MaxSize below the end string's length.
    std::int32_t GetMaxSize() const;
    void SetMaxSize(std::int32_t value);
    static constexpr std::int32_t kDefaultMaxSize = 64 * 1024;
    static constexpr std::int32_t kMaxMaxSize = 16 * 1024 * 1024;

    // --- events ---
    void SetOnPacket(TPacketNotifyEvent handler);
    void SetOnStringPacket(TStringPacketNotifyEvent handler);
    void SetOnTimeout(TPacketTimeoutEvent handler);

    // --- state ---
    TPacketMode GetMode() const;
    // Bytes of the last delivery (the packet, or what was collected at a
    // time-out).
    std::int32_t GetDataSize() const;
    void GetCollectedString(std::string& s) const;
    // While the packet collects: the bytes it holds so far, from its first
    // (the start string's included); empty otherwise. Nothing is taken from
    // the packet.
    void GetCollectingString(std::string& s) const;
    void GetCollectedData(std::vector<std::uint8_t>& data, std::int32_t& size) const;
    bool GetPacketReceived() const;
    bool GetTimedOutFlag() const;

    // --- waiting (main thread; the program itself does not use these) ---
    // Turn AutoEnable off, enable the packet and run the message loop until
    // it is delivered (true, with its bytes), it times out, it stops being
    // armed (disabled, unbound, its port closed) or the application is asked
    // to quit (false).
    bool WaitForString(std::string& s);
    bool WaitForPacket(std::vector<std::uint8_t>& data, std::int32_t& size);

protected:
    void Inserted(TSioBaseComponent* inserted) override;

private:
    friend class TSioDataPacketManager;
    friend class TSioDataPacketManagerList;

    std::unique_lock<std::mutex> Guard() const;

    // All below run with the manager's lock held (or unbound).
    void SetEnabledLocked(bool value);
    void Prepare();
    // Bytes a start or end string matches (escapes counted once).
    static std::size_t MatchedLength(const std::string& s);
    // A setting no packet could ever complete with: EInvalidProperty
    // "Packet too long".
    [[noreturn]] static void RefuseTooLong();
    void Validate(); // prepares the strings first
    void Enable();
    void Disable();
    void SetMode(TPacketMode mode);
    void CancelMatch();
    void ResetMatch();
    void ProcessData(std::int32_t i);
    void NotifyRemove(std::int32_t removed);
    // The first position in [i, end) whose byte may change this packet's
    // state (end when none does).
    std::int32_t SkipTo(std::int32_t i, std::int32_t end) const;
    bool MatchStart(std::uint8_t c, std::size_t k) const;
    bool MatchEnd(std::uint8_t c, std::size_t k) const;
    // The number of bytes past which a collecting packet overflows.
    std::int32_t Limit() const;

    TSioDataPacketManager* manager_ = nullptr;
    TSioCustomComPort* comPort_ = nullptr;
    TPacketStartCond startCond_ = scString;
    TPacketEndSet endCond_ = 0;
    std::string startString_;
    std::string endString_;
    TPacketMode mode_ = dpIdle;
    std::int32_t packetSize_ = 0;
    std::int32_t maxSize_ = kDefaultMaxSize;
    TPacketNotifyEvent onPacket_;
    TStringPacketNotifyEvent onStringPacket_;
    TPacketTimeoutEvent onTimeout_;
    std::int32_t timeOut_ = 2184;
    std::int32_t dataSize_ = 0;
    std::int32_t beginMatch_ = -1;
    bool autoEnable_ = true;
    bool ignoreCase_ = true;
    bool enabled_ = false;
    bool includeStrings_ = true;
    std::vector<std::uint8_t> collected_; // the last delivered bytes
    std::size_t startMatchIndex_ = 0;     // next start character to match (0-based)
    std::size_t endMatchIndex_ = 0;       // next end character to match (0-based)
    std::int32_t internalSize_ = 0;
    std::string startMask_, endMask_; // '1' = wildcard, '0' = literal
    std::string internalStart_, internalEnd_;
    bool prepared_ = false; // the four strings above match the properties
    bool waitForAnyData_ = false;
    bool enablePending_ = false;
    // Tick at which the pending enable was asked for: its time-out counts
    // from then, not from when the event that held it up has ended.
    Ticks pendingSince_ = -1;
    Ticks armSince_ = -1; // while Enable() arms: the start of the time-out
    bool captured_ = false;
    bool syncEvents_ = true;
    bool packetReceived_ = false;
    bool timedOutFlag_ = false;
    bool flushOnTimeout_ = true;
    bool waiting_ = false; // a WaitForPacket runs: its end wakes the message loop
    void Log(std::uint16_t subType, std::uint32_t data = 0, const std::uint8_t* bytes = nullptr,
             std::size_t count = 0) const;
    void LogText(std::uint16_t subType, const std::string& text) const;
};

class TSioDataPacketManager {
public:
    // Starts enabled when the host's port is open.
    explicit TSioDataPacketManager(PacketHost& host);
    ~TSioDataPacketManager();
    TSioDataPacketManager(const TSioDataPacketManager&) = delete;
    TSioDataPacketManager& operator=(const TSioDataPacketManager&) = delete;

    // Binding packets (main thread). A packet is bound to at most one
    // manager; Insert takes it from its previous one.
    void Insert(TSioDataPacket& packet);
    void Remove(TSioDataPacket& packet);
    std::size_t PacketCount() const;
    // Keep-alive: the manager is not freed when its last packet leaves (it
    // goes with its port), for users that bind and free packets all the
    // time. Main thread. After clearing it, TSioDataPacketManagerList::
    // PacketLeft frees the manager when it is empty.
    bool GetKeepAlive() const { return keepAlive_; }
    void SetKeepAlive(bool value) { keepAlive_ = value; }

    // Hold: while set, received bytes are kept unscanned and nothing is
    // dropped (up to kMaxBuffered), so that a user who swaps its packets
    // after one completed loses none of the bytes behind it. Set it from
    // the completed packet's handler; clearing it (main thread) scans the
    // kept bytes, oldest first, with the packets enabled by then.
    void SetHold(bool value);
    bool GetHold() const;

    // Port notices (main thread): open arms every packet whose Enabled is
    // true; closing or closed disarms every packet (Enabled is kept) and
    // drops the buffer.
    void PortOpened();
    void PortClosed();

    bool GetEnabled() const;
    // Registers with / leaves the host (handler, timer trigger). Disabling
    // drops the buffer and every packet's partial match; enabling again
    // arms the packets whose Enabled is true afresh.
    void SetEnabled(bool value);

    // Dispatch thread. Exceptions never leave these: they go to the
    // exception sink.
    void OnData(const std::uint8_t* data, std::size_t count);
    void OnTimer(int handle);
    // As OnData, for bytes taken from the dispatcher when FlushGeneration()
    // was generation: dropped when a flush came in between.
    void OnData(const std::uint8_t* data, std::size_t count, std::uint64_t generation);
    std::uint64_t FlushGeneration() const;
    // Dispatch thread: runs take (which takes bytes from the dispatcher and
    // says whether it did) and notes the flush generation, as one step
    // against FlushInput; the bytes then go to OnData with that generation.
    bool TakeInput(const std::function<bool()>& take, std::uint64_t& generation);
    // Main thread: runs flushInput (the dispatcher's input flush) and
    // FlushData as one step against TakeInput: bytes taken before it are
    // dropped as old, bytes taken after it are new and kept. Returns
    // flushInput's result.
    int FlushInput(const std::function<int()>& flushInput);

    // Main thread: drops every buffered byte; packets waiting for a start
    // string or collecting after one start over, packets collecting any
    // data keep their capture and time-out but forget what they collected.
    // An event handed to the main thread and not yet started is dropped.
    void FlushData();

    // For tests and the integration: the state of the receive buffer.
    std::int32_t DataCount() const;
    std::int32_t BufferSize() const;
    bool InEvent() const;
    int TimerHandle() const;

    // The receive buffer grows in steps of this many bytes.
    static constexpr std::int32_t kBufferStep = 8192;
    // The receive buffer never holds more: bytes beyond it (which can only
    // pile up unscanned while an event is delivered) are dropped.
    static constexpr std::int32_t kMaxBuffered = 4 * TSioDataPacket::kMaxMaxSize;

private:
    friend class TSioDataPacket;
    friend class TSioDataPacketManagerList;

    void FeedData(const std::uint8_t* data, std::size_t count, const std::uint64_t* generation);

    // All below run with mutex_ held.
    void EnableLocked();
    void DisableLocked();
    // Arms every packet whose Enabled is true.
    void ArmPackets();
    void DisposeBuffer();
    void NotifyData(std::int32_t position);
    void SetCapture(TSioDataPacket& packet, std::int32_t timeout, Ticks since = -1);
    void ReleaseCapture(TSioDataPacket& packet);
    void SetInEvent(bool value);
    void RemoveData(std::int32_t start, std::int32_t size);
    void Packet(TSioDataPacket& packet, TPacketEndCond endCond);
    // end: one past the last collected byte (-1: the end of the buffer).
    void TimedOut(TSioDataPacket& packet, std::int32_t end = -1);
    bool Deliver(TSioDataPacket& packet, bool timeout);
    void WakeWaiter();
    void RemoveLocked(TSioDataPacket& packet);

    mutable std::mutex mutex_;
    PacketHost& host_;
    std::vector<TSioDataPacket*> packetList_;
    bool handlerRegistered_ = false;
    bool enabled_ = false;
    std::vector<std::uint8_t> buffer_; // size() == BufferSize
    // The last disposed buffer of one step, taken up again by the next
    // bytes: a buffer is disposed after every packet, and allocating and
    // zeroing a fresh one for each reply was most of the cost of taking it.
    std::vector<std::uint8_t> spare_;
    std::int32_t dataCount_ = 0;
    std::int32_t scanPosition_ = 0;
    TSioDataPacket* capture_ = nullptr;
    int timerHandle_ = 0;
    bool inEvent_ = false;
    bool dataPending_ = false;
    std::int32_t pendingPosition_ = 0;
    int scanDepth_ = 0; // NotifyData calls running
    bool destroying_ = false;
    bool keepAlive_ = false;
    bool hold_ = false;
    // The packet whose event is being delivered (cleared when it is removed
    // meanwhile) and the buffer release deferred until the delivery ends.
    TSioDataPacket* delivering_ = nullptr;
    bool delivery_ = false;
    bool disposePending_ = false;
    std::string eventString_; // the string of the packet being delivered
    std::uint64_t flushGeneration_ = 0;
    // Held by TakeInput and FlushInput (never with mutex_ held).
    std::mutex inputStepMutex_;
    // The lock of the thread running OnData / OnTimer, released around
    // deliveries.
    std::unique_lock<std::mutex>* dispatchLock_ = nullptr;
};

} // namespace sio
