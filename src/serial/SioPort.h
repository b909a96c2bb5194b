// The serial port component: the object through which the program uses a
// serial port.
//
// TSioCustomComPort holds the port's settings, creates a dispatcher when the
// port opens and frees it when the port closes, forwards every read, write
// and status operation to it, turns negative result codes into exceptions
// (CheckException) and turns the dispatcher's trigger notifications into
// events on the main thread. Other objects (the packet manager) register as
// users to hear when the port opens and closes.
//
// Setters act on the device at once only while the port is open; opening
// pushes every setting to the device. All calls come from the main thread;
// a message loop (kyd::platform::messageLoop()) must be installed before a
// port is opened.
//
// The hidden component window is a message-layer target: the dispatcher
// sends it the trigger notices 32257 (data available), 32258 (data trigger),
// 32259 (timer trigger) and 32260 (status trigger), and a close that had to
// wait for a running notification finishes through 32266.
#pragma once

#include "platform/message_loop.h"
#include "serial/SioDispatch.h"
#include "serial/SioExcept.h"
#include "serial/SioMisc.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sio {

enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum TPortState : std::uint8_t { psClosed, psShuttingDown, psOpen };
enum TDeviceLayer : std::uint8_t { dlWin32, dlWinsock };
// Set of TDeviceLayer: bit (1 << layer).
using TDeviceLayers = std::uint8_t;
inline constexpr TDeviceLayers DeviceLayerBit(TDeviceLayer l) { return static_cast<TDeviceLayers>(1u << l); }
enum TTapiMode : std::uint8_t { tmNone, tmAuto, tmOn, tmOff };
enum TApThreadBoost : std::uint8_t { tbNone, tbPlusOne, tbPlusTwo };
// THWFlowOptionSet is a set of these bits.
enum THWFlowOptions : std::uint8_t { hwfUseDTR = 1, hwfUseRTS = 2, hwfRequireDSR = 4, hwfRequireCTS = 8 };
using THWFlowOptionSet = std::uint8_t;
enum TSWFlowOptions : std::uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState : std::uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause, tlAppendAndContinue };
enum TSioCallbackType : std::uint8_t { ctOpen, ctClosing, ctClosed };
enum TFlowControlState : std::uint8_t { fcOff, fcOn, fcDsrHold, fcCtsHold, fcDcdHold, fcXOutHold, fcXInHold, fcXBothHold };

// Messages to users registered by window.
inline constexpr std::uint32_t kMsgPortOpen = 32264;
inline constexpr std::uint32_t kMsgPortClose = 32265;
inline constexpr std::uint32_t kMsgPortClosing = 32266;
// Message to the component window: finish a close.
inline constexpr std::uint32_t kMsgFinishClose = 32266;

// Ranges and sizes.
inline constexpr std::uint32_t kMaxLogSize = 16000000;

class TSioCustomComPort;

using TPortCallback = std::function<void(TSioCustomComPort& sender, bool opening)>;
using TPortCallbackEx = std::function<void(TSioCustomComPort& sender, TSioCallbackType type)>;
// Creates the dispatcher of the caller's choice (tests: one on a fake device).
using TActivationProcedure = std::function<std::unique_ptr<TSioBaseDispatcher>(TSioCustomComPort& sender)>;

using TNotifyEvent = std::function<void(TSioCustomComPort& sender)>;
using TTriggerEvent = std::function<void(TSioCustomComPort& sender, std::uint16_t msg, std::uint16_t triggerHandle,
                                         std::uint16_t data)>;
using TTriggerAvailEvent = std::function<void(TSioCustomComPort& sender, std::uint16_t count)>;
using TTriggerDataEvent = std::function<void(TSioCustomComPort& sender, std::uint16_t triggerHandle)>;
using TTriggerStatusEvent = std::function<void(TSioCustomComPort& sender, std::uint16_t triggerHandle)>;
using TTriggerTimerEvent = std::function<void(TSioCustomComPort& sender, std::uint16_t triggerHandle)>;
using TTriggerLineErrorEvent = std::function<void(TSioCustomComPort& sender, std::uint16_t error, bool lineBreak)>;
using TWaitCharEvent = std::function<void(TSioCustomComPort& sender, char c)>;

// Asks the operator for a port number; nullopt when none was chosen.
using TPortPrompt = std::function<std::optional<int>()>;
// The prompt used by ports that have none of their own (the program
// installs the port selection dialog here; without one, no port is chosen).
void SetDefaultPortPrompt(TPortPrompt prompt);
TPortPrompt DefaultPortPrompt();

// One registered user of the open and close notifications.
struct TUserListEntry {
    kyd::platform::TargetId Handle = 0; // 0 for a callback user
    const void* Key = nullptr;          // identifies a callback user
    TPortCallback Callback;
    TPortCallbackEx CallbackEx;
    bool IsEx = false;
    bool Removed = false;
};

class TSioCustomComPort : public TSioBaseComponent {
public:
    explicit TSioCustomComPort(TSioBaseComponent* owner = nullptr);
    ~TSioCustomComPort() override;

    // --- loading ---
    // While loading, nothing raises and Open := true is only remembered;
    // Loaded() ends loading and opens the port when asked to.
    void SetLoading(bool loading) { loading_ = loading; }
    bool Loading() const { return loading_; }
    virtual void Loaded();
    // Copies the source's settings (line, buffers, modem lines, flow
    // control, trace and log, the trigger length and the trigger and
    // open/close events) and closes this port. Each port keeps its own
    // users, packets and triggers.
    void Assign(const TSioCustomComPort& source);

    // --- opening and closing ---
    bool GetOpen() const { return open_; }
    void SetOpen(bool value);
    void ForcePortOpen();
    TPortState GetPortState() const { return state_.load(); }
    bool GetOpenPending() const { return openPending_; }
    // The dispatcher; opens the port first when AutoOpen is on.
    TSioBaseDispatcher* GetDispatcher();
    // As GetDispatcher, raising ECommNotOpen when there is none.
    TSioBaseDispatcher& ValidDispatcher();
    // The dispatcher as it is (never opens).
    TSioBaseDispatcher* CurrentDispatcher() const { return dispatcher_.get(); }

    void SetCustomDispatcher(TActivationProcedure proc) { customDispatcher_ = std::move(proc); }
    // The port prompt of this component (empty: the default prompt).
    void SetPortPrompt(TPortPrompt prompt) { portPrompt_ = std::move(prompt); }

    // --- users ---
    void RegisterUser(kyd::platform::TargetId handle);
    void RegisterUserEx(kyd::platform::TargetId handle);
    void RegisterUserCallback(const void* key, TPortCallback callback);
    void RegisterUserCallbackEx(const void* key, TPortCallbackEx callback);
    void DeregisterUser(kyd::platform::TargetId handle);
    void DeregisterUserCallback(const void* key);
    void DeregisterUserCallbackEx(const void* key);
    std::size_t UserCount() const;

    // --- properties ---
    TDeviceLayer GetDeviceLayer() const { return deviceLayer_; }
    void SetDeviceLayer(TDeviceLayer layer);
    TDeviceLayers GetDeviceLayers() const { return deviceLayers_; }
    void SetDeviceLayers(TDeviceLayers layers) { deviceLayers_ = layers; }
    std::uint16_t GetComNumber() const { return comNumber_; }
    void SetComNumber(std::uint16_t value);
    std::int32_t GetBaud() const { return baud_; }
    void SetBaud(std::int32_t value);
    TParity GetParity() const { return parity_; }
    void SetParity(TParity value);
    std::uint16_t GetDataBits() const { return dataBits_; }
    void SetDataBits(std::uint16_t value);
    std::uint16_t GetStopBits() const { return stopBits_; }
    void SetStopBits(std::uint16_t value);
    std::uint16_t GetInSize() const { return inSize_; }
    void SetInSize(std::uint16_t value);
    std::uint16_t GetOutSize() const { return outSize_; }
    void SetOutSize(std::uint16_t value);
    bool GetPromptForPort() const { return promptForPort_; }
    void SetPromptForPort(bool value) { promptForPort_ = value; }
    bool GetAutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool value) { autoOpen_ = value; }
    std::uint16_t GetCommNotificationLevel() const { return commNotificationLevel_; }
    void SetCommNotificationLevel(std::uint16_t value) { commNotificationLevel_ = value; }
    std::uint16_t GetTapiDevice() const { return tapiDevice_; }
    void SetTapiDevice(std::uint16_t value) { tapiDevice_ = value; }
    TTapiMode GetTapiMode() const { return tapiMode_; }
    void SetTapiMode(TTapiMode value) { tapiMode_ = value; }
    bool GetRS485Mode() const { return rs485Mode_; }
    void SetRS485Mode(bool value);
    TApThreadBoost GetThreadBoost() const { return threadBoost_; }
    void SetThreadBoost(TApThreadBoost value);
    bool GetDTR() const { return dtr_; }
    void SetDTR(bool value);
    bool GetRTS() const { return rts_; }
    void SetRTS(bool value);
    std::uint16_t GetBufferFull() const { return bufferFull_; }
    void SetBufferFull(std::uint16_t value);
    std::uint16_t GetBufferResume() const { return bufferResume_; }
    void SetBufferResume(std::uint16_t value);
    THWFlowOptionSet GetHWFlowOptions() const { return hwFlowOptions_; }
    void SetHWFlowOptions(THWFlowOptionSet value);
    // The field itself, without the setter's side effects (the link clears
    // the options this way before opening).
    void ClearHWFlowOptionsField() { hwFlowOptions_ = 0; }
    TSWFlowOptions GetSWFlowOptions() const { return swFlowOptions_; }
    void SetSWFlowOptions(TSWFlowOptions value);
    char GetXOnChar() const { return xonChar_; }
    void SetXOnChar(char value);
    char GetXOffChar() const { return xoffChar_; }
    void SetXOffChar(char value);
    TTraceLogState GetTracing() const { return tracing_; }
    void SetTracing(TTraceLogState value);
    std::uint32_t GetTraceSize() const { return traceSize_; }
    void SetTraceSize(std::uint32_t value);
    std::string GetTraceName() const { return traceName_; }
    void SetTraceName(const std::string& value) { traceName_ = value; }
    bool GetTraceHex() const { return traceHex_; }
    void SetTraceHex(bool value) { traceHex_ = value; }
    bool GetTraceAllHex() const { return traceAllHex_; }
    void SetTraceAllHex(bool value) { traceAllHex_ = value; }
    TTraceLogState GetLogging() const { return logging_; }
    void SetLogging(TTraceLogState value);
    std::uint32_t GetLogSize() const { return logSize_; }
    void SetLogSize(std::uint32_t value);
    std::string GetLogName() const { return logName_; }
    void SetLogName(const std::string& value) { logName_ = value; }
    bool GetLogHex() const { return logHex_; }
    void SetLogHex(bool value) { logHex_ = value; }
    bool GetLogAllHex() const { return logAllHex_; }
    void SetLogAllHex(bool value) { logAllHex_ = value; }
    bool GetUseMSRShadow() const { return useMSRShadow_; }
    virtual void SetUseMSRShadow(bool value);
    bool GetUseEventWord() const { return useEventWord_; }
    void SetUseEventWord(bool value);
    std::uint16_t GetTriggerLength() const { return triggerLength_; }
    void SetTriggerLength(std::uint16_t value);
    std::uint16_t GetBaseAddress();
    void SetBaseAddress(std::uint16_t value);
    std::int32_t Tag = 0;

    // --- status (the "closed" value unless the port is open) ---
    bool CTS();
    bool DSR();
    bool RI();
    bool DCD();
    bool DeltaCTS();
    bool DeltaDSR();
    bool DeltaRI();
    bool DeltaDCD();
    bool LineBreak();
    std::uint16_t LineError();
    std::uint32_t InBuffUsed();
    std::uint32_t InBuffFree();
    std::uint32_t OutBuffUsed();
    std::uint32_t OutBuffFree();
    std::uint8_t ModemStatus();
    TFlowControlState FlowState();
    std::uint32_t LastWinError() const;

    // --- reading, writing, triggers ---
    void PutChar(std::uint8_t c);
    void PutString(const std::string& s);
    int PutBlock(const void* block, std::uint32_t length);
    std::uint8_t GetChar();
    std::uint8_t PeekChar(std::uint32_t n);
    void GetBlock(void* block, std::uint32_t length);
    void PeekBlock(void* block, std::uint32_t length);
    bool CharReady();
    // Discards every received byte not yet handed out: the device's input
    // queue, the dispatch buffer and the bytes the port's packets hold
    // (partial matches start over; an event not yet delivered is dropped).
    // From inside a trigger handler too, they are gone when it returns.
    void FlushInBuffer();
    void FlushOutBuffer();
    // MessageLoop::pumpUntil on the main thread, during which the main
    // thread takes the open port's input itself: a reply waited for reaches
    // its handler one thread hand-over sooner. Returns done().
    bool PumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs);
    void SendBreak(Ticks ticks, bool yield);
    void SetBreak(bool on);
    void ProcessCommunications();
    int AddDataTrigger(const std::string& text, bool ignoreCase);
    int AddTimerTrigger();
    int AddStatusTrigger(std::uint16_t type);
    void SetTimerTrigger(int handle, Ticks ticks, bool activate);
    void SetStatusTrigger(int handle, std::uint32_t value, bool activate);
    void RemoveTrigger(int handle);
    void RemoveAllTriggers();
    void AddTraceEntry(char kind, char c);
    void AddStringToLog(const std::string& s);
    // Advances a caller-held match index (the 1-based number of the next
    // character of text to match) by one character: true (and the index
    // back to 1) when c completes text. After a character that does not fit,
    // the index keeps the longest start of text the received characters
    // still end with, so overlapping starts are not lost ("AAB" is found in
    // "AAAB").
    static bool CheckForString(std::uint16_t& index, char c, const std::string& text, bool ignoreCase);

    // --- waiting for text (the program itself does not use these) ---
    // Read the received bytes (GetChar), hand each to WaitChar (OnWaitChar)
    // and compare them with the text (found wherever a plain search of the
    // received bytes finds it, overlapping starts included) until it has
    // come, ticks have passed, the line is gone or the application is asked
    // to quit. With yield (main thread) the message loop runs while they
    // wait for input. Meanwhile the dispatcher holds its trigger handlers
    // back (packets, trigger events), so every byte comes to the wait.
    bool WaitForString(const std::string& text, Ticks ticks, bool yield, bool ignoreCase);
    // The list is split at the separator into at most kMaxWaitStrings texts
    // (the rest is ignored). Result: the 1-based number of the text that
    // came first (the one whose occurrence ends first; of two ending at the
    // same byte, the one listed first), 0 when none did.
    int WaitForMultiString(const std::string& list, Ticks ticks, bool yield, bool ignoreCase, char separator);
    static constexpr std::size_t kMaxWaitStrings = 127;
    // Holds the trigger handlers back from now on, so that bytes arriving
    // before the next wait starts are kept for it; that wait lets them go
    // again when it ends.
    void PrepareWait();

    // --- tracing and dispatch log ---
    void InitTracing(std::uint32_t numEntries);
    void StartTracing();
    void StopTracing();
    void ClearTracing();
    void AbortTracing();
    void DumpTrace(const std::string& name, bool inHex);
    void AppendTrace(const std::string& name, bool inHex, TTraceLogState newState);
    void InitLogging(std::uint32_t size);
    void StartLogging();
    void StopLogging();
    void ClearLogging();
    void AbortLogging();
    void DumpLog(const std::string& name, bool inHex);
    void AppendLog(const std::string& name, bool inHex, TTraceLogState newState);

    // --- events (assigning a trigger event updates the handler flags) ---
    void SetOnTrigger(TTriggerEvent e);
    void SetOnTriggerAvail(TTriggerAvailEvent e);
    void SetOnTriggerData(TTriggerDataEvent e);
    void SetOnTriggerStatus(TTriggerStatusEvent e);
    void SetOnTriggerTimer(TTriggerTimerEvent e);
    void SetOnTriggerLineError(TTriggerLineErrorEvent e);
    void SetOnTriggerModemStatus(TNotifyEvent e);
    void SetOnTriggerOutbuffFree(TNotifyEvent e);
    void SetOnTriggerOutbuffUsed(TNotifyEvent e);
    void SetOnTriggerOutSent(TNotifyEvent e);
    void SetOnPortOpen(TNotifyEvent e) { onPortOpen_ = std::move(e); }
    void SetOnPortClose(TNotifyEvent e) { onPortClose_ = std::move(e); }
    void SetOnWaitChar(TWaitCharEvent e) { onWaitChar_ = std::move(e); }

    // The component window (0 before the first open).
    kyd::platform::TargetId ComWindow() const { return comWindow_; }

protected:
    virtual std::unique_ptr<TSioBaseDispatcher> ActivateDeviceLayer();
    virtual void DeviceLayerChanged() {}
    virtual int InitializePort();
    virtual void RegisterComPort(bool enabling);
    virtual void ValidateComport();
    virtual void Trigger(std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data);
    virtual void TriggerAvail(std::uint16_t count);
    virtual void TriggerData(std::uint16_t triggerHandle);
    virtual void TriggerStatus(std::uint16_t triggerHandle);
    virtual void TriggerTimer(std::uint16_t triggerHandle);
    virtual void UpdateHandlerFlag();
    virtual void TriggerLineError(std::uint16_t error, bool lineBreak);
    virtual void TriggerModemStatus();
    virtual void TriggerOutbuffFree();
    virtual void TriggerOutbuffUsed();
    virtual void TriggerOutSent();
    virtual void WaitChar(char c);
    virtual void DonePort();
    virtual void InitPort();
    virtual void PortOpen();
    virtual void PortClosing();
    virtual void PortClose();

private:
    using UserList = std::vector<std::shared_ptr<TUserListEntry>>;

    bool IsOpenState() const { return state_.load() == psOpen; }
    bool ShuttingDown() const { return state_.load() == psShuttingDown; }
    int Check(int code) const { return CheckException(loading_, code); }
    void FinishClose();
    // Frees the dispatcher, or hands it to the retired list while a wait for
    // text further up the stack still refers to it (it goes when that wait
    // has ended).
    void LetGoOfDispatcher();
    // The wait behind WaitForString and WaitForMultiString: 1-based number
    // of the text that came, 0 when none did.
    int WaitForStrings(const std::vector<std::string>& texts, Ticks ticks, bool yield, bool ignoreCase);
    void UndoFailedOpen(const UserList& told, bool windowRegistered);
    void NotifyUser(const TUserListEntry& e, TSioCallbackType type);
    std::intptr_t ComWindowProc(const kyd::platform::Message& m);
    void HandleTriggerMessage(const kyd::platform::Message& m);
    void HandleFinishClose();
    bool AnyTriggerEvent() const;
    void DefaultThresholds();
    TSioBaseDispatcher* OpenDispatcher() const { return IsOpenState() ? dispatcher_.get() : nullptr; }
    void ReapplyFlowOptions();
    // Stores a line setting and, when it changed on an open port, gives the
    // line its settings again.
    template <class T>
    void SetLineSetting(T& field, T value)
    {
        if (value == field)
            return;
        field = value;
        if (TSioBaseDispatcher* d = OpenDispatcher())
            Check(d->SetLine(static_cast<std::uint32_t>(baud_), parity_, stopBits_, dataBits_));
    }

    // Runs a close step of the dispatcher (DonePort, FinishDeferredClose),
    // which pumps messages while its threads end; meanwhile a finish-close
    // message must not free the dispatcher under it.
    void WhileClosing(const std::function<void()>& step);

    // Expires when the port is freed (a handler may free it).
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
    int triggerHandlerDepth_ = 0; // trigger events running on the stack
    bool force_ = false;
    int closingDispatcher_ = 0; // depth of WhileClosing on the stack
    std::atomic<TPortState> state_{psClosed};
    bool openPending_ = false;
    bool forceOpen_ = false;
    UserList userList_;
    bool destroying_ = false;
    UserList* toldOpen_ = nullptr; // users told "open" by the open under way
    int waitDepth_ = 0; // waits for text on the stack
    // Dispatchers closed while a wait for text ran, freed when it ends.
    // Each wait holds the list too: a port freed while it waits (by a
    // handler it runs) leaves the wait its dispatcher to let go of.
    using DispatcherList = std::vector<std::unique_ptr<TSioBaseDispatcher>>;
    std::shared_ptr<DispatcherList> retiredDispatchers_ = std::make_shared<DispatcherList>();
    bool waitBusyKept_ = false; // the dispatcher's busy state before PrepareWait
    bool waitPrepared_ = false;
    bool saveTriggerBuffers_ = false;
    TTriggerSave triggerSave_;
    kyd::platform::TargetId comWindow_ = 0;
    TActivationProcedure customDispatcher_;
    TPortPrompt portPrompt_;
    TDeviceLayer deviceLayer_ = dlWin32;
    TDeviceLayers deviceLayers_ = DeviceLayerBit(dlWin32);
    std::unique_ptr<TSioBaseDispatcher> dispatcher_;
    std::uint16_t comNumber_ = 0;
    std::int32_t baud_ = 19200;
    TParity parity_ = pNone;
    std::uint16_t dataBits_ = 8;
    std::uint16_t stopBits_ = 1;
    std::uint16_t inSize_ = 4096;
    std::uint16_t outSize_ = 4096;
    bool open_ = false;
    bool promptForPort_ = true;
    bool autoOpen_ = true;
    std::uint16_t commNotificationLevel_ = 10;
    std::uint16_t tapiDevice_ = 0;
    TTapiMode tapiMode_ = tmAuto;
    bool rs485Mode_ = false;
    TApThreadBoost threadBoost_ = tbNone;
    bool dtr_ = true;
    bool rts_ = true;
    std::uint16_t bufferFull_ = 0;
    std::uint16_t bufferResume_ = 0;
    THWFlowOptionSet hwFlowOptions_ = 0;
    TSWFlowOptions swFlowOptions_ = swfNone;
    char xonChar_ = 17;
    char xoffChar_ = 19;
    TTraceLogState tracing_ = tlOff;
    std::uint32_t traceSize_ = 10000;
    std::string traceName_ = "DIDA.TRC";
    bool traceHex_ = true;
    bool traceAllHex_ = false;
    TTraceLogState logging_ = tlOff;
    std::uint32_t logSize_ = 10000;
    std::string logName_ = "DIDA.LOG";
    bool logHex_ = true;
    bool logAllHex_ = false;
    bool useMSRShadow_ = true;
    bool useEventWord_ = true;
    std::uint16_t triggerLength_ = 1;
    bool loading_ = false;

    TTriggerEvent onTrigger_;
    TTriggerAvailEvent onTriggerAvail_;
    TTriggerDataEvent onTriggerData_;
    TTriggerStatusEvent onTriggerStatus_;
    TTriggerTimerEvent onTriggerTimer_;
    TTriggerLineErrorEvent onTriggerLineError_;
    TNotifyEvent onTriggerModemStatus_;
    TNotifyEvent onTriggerOutbuffFree_;
    TNotifyEvent onTriggerOutbuffUsed_;
    TNotifyEvent onTriggerOutSent_;
    TNotifyEvent onPortOpen_;
    TNotifyEvent onPortClose_;
    TWaitCharEvent onWaitChar_;
};

// The published form of the component; no code of its own.
class TSioComPort : public TSioCustomComPort {
public:
    using TSioCustomComPort::TSioCustomComPort;
};

// "COM" followed by the number.
std::string ComName(int n);
// The first port component among the components of owner, searching each
// owned component's own components depth first; nullptr when none.
TSioCustomComPort* SearchComPort(const TSioBaseComponent* owner);

} // namespace sio
