// The library's application object and its timer pool: many logical timers
// served by one periodic timer on the message layer, so that they run on
// the main thread and follow the process clock (a FakeClock in tests).
#pragma once

#include "widgets/framework/canvas.h"
#include "widgets/services/ini_ctrl.h"
#include "widgets/framework/object.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kyd::platform {
class InstanceLock;
class PeriodicTimer;
class SessionShutdown;
} // namespace kyd::platform

namespace kyd::widgets {

class TDUDTimerPool;

// A timer event receives its sender (the item) and, for the pool's event,
// the calls so far.
using TDUDTimerEvent = std::function<void(void* sender)>;
using TDUDPoolTimerEvent = std::function<void(void* sender, std::int32_t count)>;

// Who raised an exception that reaches the application object.
struct TDUDSender {
    std::string ClassName;
    std::string Name; // empty for an unnamed object
};
using TDUDExceptionEvent = std::function<void(const TDUDSender& sender, std::exception_ptr e, bool& handled)>;
using TDUDLogSizeEvent = std::function<void(void* sender, bool& cancel)>;
using TDUDLogHeaderEvent = std::function<void(void* sender, std::vector<std::string>& lines)>;

class TDUDTimerItem {
public:
    TDUDTimerItem(TDUDTimerPool* pool, std::uint16_t id);

    std::uint16_t Id() const { return id_; }
    bool Enabled() const { return enabled_; }
    // Enabling a disabled item starts its count afresh: its first call
    // comes one interval later. Enabling an enabled one only resets its
    // calls so far.
    void SetEnabled(bool on);
    std::int32_t CallCount() const { return callCount_; }
    void SetCallCount(std::int32_t n);
    std::int32_t Calls() const { return calls_; }
    std::uint16_t Interval() const { return interval_; }
    void SetInterval(std::uint16_t ms);
    std::int32_t Divisor() const { return divisor_; }
    TDUDTimerEvent OnTimer;

    // One call: counts, disables itself at its call count, then calls its
    // event or the pool's.
    void Timer();

private:
    friend class TDUDTimerPool;
    TDUDTimerPool* pool_;
    std::uint16_t id_;
    std::int32_t callCount_ = -1;
    std::int32_t calls_ = 0;
    bool enabled_ = true;
    std::uint16_t interval_ = 1000;
    std::int32_t divisor_ = 1;
    // The pass in which its count was last started: it is called every
    // divisor-th pass after it (a pass that is running then does not count).
    std::uint64_t armedInPass_ = 0;
    void arm();
};

class TDUDTimerPool : public TDUDCustomComponent {
public:
    explicit TDUDTimerPool(std::uint16_t interval = 1000);
    ~TDUDTimerPool() override;

    std::uint16_t Interval() const { return interval_; }
    // Only while the pool holds no timers; 0 raises.
    void SetInterval(std::uint16_t ms);

    // Raises EDUDException for an id already present or an interval that is
    // not a multiple of the pool interval (or below it). Result: the index.
    int AddTimer(std::uint16_t id, std::uint16_t interval, TDUDTimerEvent event);
    int AddTimerExt(std::uint16_t id, std::uint16_t interval, TDUDTimerEvent event, bool enabled,
                    std::int32_t callCount);
    // Removing is safe from inside any timer's event, the removed one's too,
    // and so is destroying the pool.
    void RemoveTimer(std::uint16_t id);
    void ClearTimers();
    TDUDTimerItem* GetTimer(std::uint16_t id) const;
    int IndexOf(std::uint16_t id) const;
    int GetCount() const { return static_cast<int>(items_.size()); }
    int GetActiveTimers() const;
    bool MainTimerActive() const { return mainActive_; }
    // Ticks since the main timer was last (re)started; the next tick is 1.
    std::int32_t TickCounter() const { return tick_; }

    TDUDPoolTimerEvent OnTimer;

    // With on and an enabled item: (re)starts the main timer, so that an
    // item added or enabled now is first called one item interval from now;
    // the other items keep their count of ticks. Otherwise stops it.
    void UpdateMainTimer(bool on);
    // One pass over the items, as a tick of the main timer runs it: every
    // enabled item is called each divisor-th tick since it was added or
    // enabled.
    void HandleTimers();

private:
    friend class TDUDTimerItem;
    std::uint16_t interval_;
    std::vector<std::unique_ptr<TDUDTimerItem>> items_;
    std::unique_ptr<platform::PeriodicTimer> timer_;
    std::int32_t tick_ = 0;
    bool mainActive_ = false;
    bool inHandler_ = false;
    bool removing_ = false;
    bool restartedInPass_ = false;
    std::uint64_t pass_ = 0;
    void stopWhenIdle();
    // Cleared when the pool goes: a pass whose handler destroyed the pool
    // stops without touching it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The application object installs the program's cursor resource 16548 as
// screen cursor -255. Cursors are the GUI's: its part of the library sets
// the installer (DUDInstallQtCursors); without one nothing is installed.
inline constexpr int kDUDCursorResource = 16548;
inline constexpr int kDUDApplicationCursor = -255;
using TDUDCursorInstaller = std::function<void(int resource, int screenCursor)>;
void DUDSetCursorInstaller(TDUDCursorInstaller installer);

class TDUDApplication : public TDUDCustomComponent {
public:
    // instanceName: the single-instance lock's name (empty: the
    // executable's file name); checkInstance false skips the lock.
    explicit TDUDApplication(std::string instanceName = {}, bool checkInstance = true);
    ~TDUDApplication() override;

    TDUDIniCtrl& IniCtrl() { return *ini_; }
    TDUDTimerPool& TimerPool() { return *pool_; }
    bool AnotherInstance() const { return anotherInstance_; }
    // In a later instance: asks the first one to come forward; false when
    // this is the first or none listens.
    bool ActivatePrevInstance();
    // In the first instance: called on the message loop when a later one
    // asks it to come forward.
    TNotifyEvent OnActivateRequest;

    // Pool timers with ids 64769..65018; 0 when all 250 are taken or the pool
    // refuses the timer.
    std::uint16_t AddTimer(std::uint16_t interval, TDUDTimerEvent event);
    std::uint16_t AddTimerExt(std::uint16_t interval, TDUDTimerEvent event, bool enabled, std::int32_t callCount);
    // Ids outside 64769..65018 are ignored.
    void RemoveTimer(std::uint16_t id);
    TDUDTimerItem* GetTimer(std::uint16_t id) const;

    // code 0 powers off, 1 reboots, anything else logs off; true on success,
    // after which the application is asked to quit.
    bool QuitWindows(int code);
    bool QuitWindows(int code, platform::SessionShutdown& shutdown);

    void STWStart();
    // Milliseconds since STWStart; 0 when not running (stops it).
    std::int64_t STWStop();
    std::int64_t GetTimerFrequency() const { return 1'000'000'000; }

    std::string RegCompany, RegProduct;
    std::string Title; // the application's title
    // Software\<RegCompany>\<Title>\<RegProduct>\ (company and product only
    // when set; the title is the program's file name when empty).
    std::string GetDefaultRegPath() const;

    // Log file name: empty gives the executable's name with ".LOG", a name
    // without extension gets ".LOG"; unless the prefix is ppFixed, the file
    // lies in the prefix's folder.
    void SetLogName(const std::string& name);
    const std::string& LogName() const { return logName_; }
    void SetLogPrefix(TDUDPathPrefix prefix);
    TDUDPathPrefix LogPrefix() const { return logPrefix_; }
    std::uint32_t Options = 0x36;
    std::string LogTemplate = "#tdl";
    // Steps of the forms' explode animations.
    int ExplodeSteps = 10;

    // Log file. Options: 4 a new file on each run, 8 log exceptions,
    // 16 a header when the log starts, 32 numbered entries, 64 the time
    // and 128 the date on each entry.
    std::int64_t LogSize = -1;   // a file larger than this (above 100) is exceeded
    int LogSizeAction = 0;       // then: 0 keep, 1 start anew, 2 rename to .l<n> and start anew
    TDUDLogSizeEvent OnLogSizeExceeded; // may cancel the write
    TDUDLogHeaderEvent OnLogHeader;     // adds lines to the header
    // "#Header", "#Line" and "#CR" write the header, a separator line and
    // an empty line; any other text becomes one entry by LogTemplate ('#'
    // number, 't' time, 'd' date, 'l' the text). False when the file could
    // not be written (the write is dropped).
    bool LogWrite(const std::string& text);
    // "<message>, Address: <address>" after "<class>: " or
    // "<class> (Name: <name>): ".
    bool LogException(const TDUDSender& sender, std::exception_ptr e);
    // OnException first; unless it handles it, the exception is logged
    // (option 8) and shown through the program's exception sink.
    void HandleException(const TDUDSender& sender, std::exception_ptr e);
    TDUDExceptionEvent OnException;

    // 8 x 8 white with the pixels whose x and y differ in evenness in the
    // colour; made again only when the colour changes.
    std::shared_ptr<const TBrushPattern> GetBrushBitmap(TColor color);
    // The black checkerboard, made on first use.
    std::shared_ptr<const TBrushPattern> GetBitmap();

    int EditMode() const { return editMode_; }
    void SetEditMode(int mode);
    TNotifyEvent OnEditModeChange;

private:
    std::unique_ptr<TDUDIniCtrl> ini_;
    std::unique_ptr<TDUDTimerPool> pool_;
    std::unique_ptr<platform::InstanceLock> lock_;
    std::uint64_t wakeWatch_ = 0;
    bool anotherInstance_ = false;
    bool slots_[250] = {};
    std::int64_t stwStart_ = 0;
    bool stwRunning_ = false;
    std::string logName_;
    TDUDPathPrefix logPrefix_ = TDUDPathPrefix::ppProgram;
    int editMode_ = 0;
    bool logStarted_ = false;
    std::int32_t logEntries_ = 0;
    std::shared_ptr<const TBrushPattern> brush_, bitmap_;
    TColor brushColor_ = 0;
};

// True when the owner is not a form (nor, when allowed, a data module), or
// holds more than one component of the class; false without a class or with
// at most one. `classesOfOwner` lists the class names of the owner's
// components.
bool DUDCheckForSameClass(bool ownerIsForm, bool ownerIsDataModule, const std::vector<std::string>& classesOfOwner,
                          const std::string& className, bool allowDataModules);
// The error of a control that may exist only once per form.
class EDUDOneInst : public EDUDException {
public:
    using EDUDException::EDUDException;
};
[[noreturn]] void DUDEOneInstError(const std::string& className);

// The application object of the process, or nullptr before it exists. The
// first object created becomes it.
TDUDApplication* DUDApplication();
// Its default registry path, or "Software\" and the program's name.
std::string DUDApplicationDefaultRegPath();
// Where an exception that left a component's event handler goes, on the main
// thread: the application object's HandleException when there is one,
// otherwise the program's exception sink. The handler's component keeps
// running. Never raises: an exception from the application object's own
// handling goes to the sink.
void DUDHandleException(const TDUDSender& sender, std::exception_ptr e) noexcept;

} // namespace kyd::widgets
