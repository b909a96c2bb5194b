#include "widgets/services/application.h"

#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "platform/instance_lock.h"
#include "platform/message_loop.h"
#include "platform/periodic_timer.h"
#include "platform/program_path.h"
#include "platform/session_shutdown.h"
#include "widgets/framework/texts.h"
#include "widgets/framework/procs.h"
#include "widgets/framework/strings.h"

#include <algorithm>
#include <climits>
#include <mutex>

namespace kyd::widgets {

namespace pf = kyd::platform;

namespace {

TDUDApplication* gApplication = nullptr;

constexpr std::uint16_t kFirstAppTimer = 64769; // 64768 + slot 1
constexpr int kAppTimerSlots = 250;

std::string fileNamePart(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string intervalError()
{
    const std::string s = DUDLoadStr(IDS_INTERVALNOTFIT);
    return s.empty() ? std::string("Interval does not fit the timer pool") : s;
}

} // namespace

// --- TDUDTimerItem ---------------------------------------------------------

TDUDTimerItem::TDUDTimerItem(TDUDTimerPool* pool, std::uint16_t id) : pool_(pool), id_(id)
{
    interval_ = pool->Interval();
    divisor_ = 1;
    arm();
}

void TDUDTimerItem::SetEnabled(bool on)
{
    if (on && callCount_ == 0)
        return;
    const bool was = enabled_;
    enabled_ = on;
    calls_ = 0;
    if (!on) {
        pool_->stopWhenIdle();
    } else if (!was || !pool_->mainActive_) {
        // Enabled now: its count starts afresh. One that stays enabled
        // keeps its count and the pool its ticks, so a caller that keeps
        // it on does not hold the pool back.
        arm();
        pool_->UpdateMainTimer(true);
    }
}

void TDUDTimerItem::arm()
{
    armedInPass_ = pool_->pass_;
}

void TDUDTimerItem::SetCallCount(std::int32_t n)
{
    callCount_ = n < -1 ? -1 : n;
    if (callCount_ == 0)
        SetEnabled(false);
}

void TDUDTimerItem::SetInterval(std::uint16_t ms)
{
    const std::uint16_t base = pool_->Interval();
    if (ms == 0)
        ms = base;
    if (ms < base || ms % base != 0)
        return;
    interval_ = ms;
    divisor_ = ms / base;
    calls_ = 0;
    arm();
}

void TDUDTimerItem::Timer()
{
    calls_ = calls_ == INT32_MAX ? 0 : calls_ + 1;
    if (callCount_ > 0 && calls_ >= callCount_) {
        enabled_ = false;
        pool_->stopWhenIdle();
    }
    if (OnTimer) {
        auto ev = OnTimer; // the handler may remove this item
        ev(this);
    } else if (pool_->OnTimer) {
        auto ev = pool_->OnTimer;
        ev(this, calls_);
    }
}

// --- TDUDTimerPool ---------------------------------------------------------

TDUDTimerPool::TDUDTimerPool(std::uint16_t interval) : interval_(interval ? interval : 1000) {}

TDUDTimerPool::~TDUDTimerPool()
{
    *alive_ = false;
    ClearTimers();
}

void TDUDTimerPool::SetInterval(std::uint16_t ms)
{
    if (ms == 0)
        throw EDUDException(intervalError());
    if (ms == interval_)
        return;
    if (!items_.empty())
        throw EDUDException("The pool interval cannot change while the pool holds timers");
    interval_ = ms;
}

int TDUDTimerPool::AddTimer(std::uint16_t id, std::uint16_t interval, TDUDTimerEvent event)
{
    return AddTimerExt(id, interval, std::move(event), true, -1);
}

int TDUDTimerPool::AddTimerExt(std::uint16_t id, std::uint16_t interval, TDUDTimerEvent event, bool enabled,
                               std::int32_t callCount)
{
    if (IndexOf(id) >= 0 || interval < interval_ || interval % interval_ != 0)
        throw EDUDException(intervalError());
    auto item = std::make_unique<TDUDTimerItem>(this, id);
    item->SetInterval(interval);
    item->OnTimer = std::move(event);
    item->callCount_ = callCount < -1 ? -1 : callCount;
    item->enabled_ = enabled && item->callCount_ != 0;
    const bool on = item->enabled_;
    items_.push_back(std::move(item));
    if (on)
        UpdateMainTimer(true);
    return static_cast<int>(items_.size()) - 1;
}

void TDUDTimerPool::RemoveTimer(std::uint16_t id)
{
    const int i = IndexOf(id);
    if (i < 0)
        return;
    removing_ = true;
    std::unique_ptr<TDUDTimerItem> item = std::move(items_[static_cast<std::size_t>(i)]);
    items_.erase(items_.begin() + i);
    item->enabled_ = false;
    item->OnTimer = nullptr;
    removing_ = false;
    stopWhenIdle();
    // A handler that removed its own item runs on with a copy of its event;
    // the item itself goes now.
}

void TDUDTimerPool::ClearTimers()
{
    UpdateMainTimer(false);
    items_.clear();
}

TDUDTimerItem* TDUDTimerPool::GetTimer(std::uint16_t id) const
{
    const int i = IndexOf(id);
    return i < 0 ? nullptr : items_[static_cast<std::size_t>(i)].get();
}

int TDUDTimerPool::IndexOf(std::uint16_t id) const
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->id_ == id)
            return static_cast<int>(i);
    return -1;
}

int TDUDTimerPool::GetActiveTimers() const
{
    return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const auto& i) { return i->enabled_; }));
}

void TDUDTimerPool::UpdateMainTimer(bool on)
{
    const bool want = on && GetActiveTimers() > 0;
    if (!timer_ && want)
        timer_ = std::make_unique<pf::PeriodicTimer>([this] {
            if (inHandler_)
                return;
            HandleTimers(); // may destroy the pool and this timer
        });
    if (timer_)
        timer_->stop();
    mainActive_ = false;
    if (want) {
        // Started anew: the first tick one pool interval from now, so an
        // item armed now keeps its whole interval.
        timer_->start(interval_);
        if (!timer_->active())
            throw EDUDException("Not enough timers available");
        mainActive_ = true;
        tick_ = 1;
        if (inHandler_)
            restartedInPass_ = true;
    }
}

void TDUDTimerPool::stopWhenIdle()
{
    if (mainActive_ && GetActiveTimers() == 0)
        UpdateMainTimer(false);
}

void TDUDTimerPool::HandleTimers()
{
    if (inHandler_)
        return;
    inHandler_ = true;
    restartedInPass_ = false;
    ++pass_;
    // A handler may destroy the pool: from then on nothing of it is touched.
    const std::shared_ptr<bool> alive = alive_;
    struct Reset {
        const std::shared_ptr<bool>& alive;
        bool& f;
        ~Reset()
        {
            if (*alive)
                f = false;
        }
    } reset{alive, inHandler_};
    if (!removing_) {
        const TDUDSender sender{"TDUDTimerPool", Name()};
        // A snapshot of the ids: a handler may remove any item, itself too,
        // or add new ones; removed ones are skipped, added ones wait, and so
        // do items enabled again during this pass.
        std::vector<std::uint16_t> ids;
        ids.reserve(items_.size());
        for (const auto& i : items_)
            ids.push_back(i->id_);
        for (std::uint16_t id : ids) {
            TDUDTimerItem* item = GetTimer(id);
            if (!item || !item->enabled_ || item->divisor_ <= 0)
                continue;
            const std::uint64_t since = pass_ - item->armedInPass_;
            if (since == 0 || since % static_cast<std::uint64_t>(item->divisor_) != 0)
                continue;
            // One item's failing handler neither ends the pass nor the pool.
            try {
                item->Timer();
            } catch (...) {
                DUDHandleException(sender, std::current_exception());
            }
            if (!*alive)
                return;
        }
    }
    if (!restartedInPass_) // a restart in the pass set the next tick already
        tick_ = tick_ == INT32_MAX ? 0 : tick_ + 1;
}

// --- TDUDApplication -------------------------------------------------------

namespace {

std::mutex gCursorMutex;
TDUDCursorInstaller gCursorInstaller;

} // namespace

void DUDSetCursorInstaller(TDUDCursorInstaller installer)
{
    std::lock_guard<std::mutex> g(gCursorMutex);
    gCursorInstaller = std::move(installer);
}

TDUDApplication::TDUDApplication(std::string instanceName, bool checkInstance)
    : ini_(std::make_unique<TDUDIniCtrl>("IniCtrl")), pool_(std::make_unique<TDUDTimerPool>(50))
{
    if (checkInstance) {
        if (instanceName.empty())
            instanceName = fileNamePart(pf::executablePath());
        lock_ = std::make_unique<pf::InstanceLock>(instanceName);
        anotherInstance_ = lock_->anotherInstance();
        if (lock_->wakeDescriptor() >= 0 && pf::hasMessageLoop())
            wakeWatch_ = pf::messageLoop().watchReadable(lock_->wakeDescriptor(), [this] {
                if (lock_->takeWakeRequests() && OnActivateRequest)
                    OnActivateRequest(this);
            });
    }
    SetLogName({});
    TDUDCursorInstaller installCursor;
    {
        std::lock_guard<std::mutex> g(gCursorMutex);
        installCursor = gCursorInstaller;
    }
    if (installCursor)
        installCursor(kDUDCursorResource, kDUDApplicationCursor);
    if (!gApplication)
        gApplication = this;
}

TDUDApplication::~TDUDApplication()
{
    if (gApplication == this)
        gApplication = nullptr;
    if (wakeWatch_ != 0 && pf::hasMessageLoop())
        pf::messageLoop().unwatchReadable(wakeWatch_);
    pool_.reset();
}

bool TDUDApplication::ActivatePrevInstance()
{
    return anotherInstance_ && lock_ && lock_->wakeFirstInstance();
}

std::uint16_t TDUDApplication::AddTimer(std::uint16_t interval, TDUDTimerEvent event)
{
    return AddTimerExt(interval, std::move(event), true, -1);
}

std::uint16_t TDUDApplication::AddTimerExt(std::uint16_t interval, TDUDTimerEvent event, bool enabled,
                                           std::int32_t callCount)
{
    for (int slot = 0; slot < kAppTimerSlots; ++slot) {
        if (slots_[slot])
            continue;
        const auto id = static_cast<std::uint16_t>(kFirstAppTimer + slot);
        try {
            pool_->AddTimerExt(id, interval, std::move(event), enabled, callCount);
        } catch (const EDUDException&) {
            return 0;
        }
        slots_[slot] = true;
        return id;
    }
    return 0; // all slots taken
}

void TDUDApplication::RemoveTimer(std::uint16_t id)
{
    if (id < kFirstAppTimer || id >= kFirstAppTimer + kAppTimerSlots)
        return;
    pool_->RemoveTimer(id);
    slots_[id - kFirstAppTimer] = false;
}

TDUDTimerItem* TDUDApplication::GetTimer(std::uint16_t id) const { return pool_->GetTimer(id); }

bool TDUDApplication::QuitWindows(int code) { return QuitWindows(code, pf::systemSessionShutdown()); }

bool TDUDApplication::QuitWindows(int code, pf::SessionShutdown& shutdown)
{
    bool ok;
    switch (code) {
    case 0: ok = shutdown.powerOff(); break;
    case 1: ok = shutdown.reboot(); break;
    default: ok = shutdown.logOff(); break;
    }
    if (ok && pf::hasMessageLoop())
        pf::messageLoop().requestQuit();
    return ok;
}

void TDUDApplication::STWStart()
{
    stwStart_ = pf::clock().monotonicMs();
    stwRunning_ = true;
}

std::int64_t TDUDApplication::STWStop()
{
    if (!stwRunning_)
        return 0;
    stwRunning_ = false;
    return pf::clock().monotonicMs() - stwStart_;
}

std::string TDUDApplication::GetDefaultRegPath() const
{
    std::string path = "Software\\";
    if (!RegCompany.empty())
        path += RegCompany + "\\";
    // Without a title the program's own name, as without the application
    // object: one key whether or not the object exists (a full path would
    // also move the settings with the program's folder).
    path += (Title.empty() ? fileNamePart(pf::executablePath()) : Title) + "\\";
    if (!RegProduct.empty())
        path += RegProduct + "\\";
    return path;
}

void TDUDApplication::SetLogName(const std::string& name)
{
    std::string n = name;
    if (n.empty()) {
        n = pf::executablePath();
        const auto slash = n.rfind('/');
        const auto dot = n.rfind('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            n.erase(dot);
        n += ".LOG";
    } else {
        const auto slash = n.rfind('/');
        const auto dot = n.rfind('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
            n += ".LOG";
    }
    if (logPrefix_ != TDUDPathPrefix::ppFixed)
        n = DUDCreatePathPrefix(static_cast<int>(logPrefix_), true) + fileNamePart(n);
    logName_ = n;
}

void TDUDApplication::SetLogPrefix(TDUDPathPrefix prefix)
{
    logPrefix_ = prefix;
    SetLogName(logName_);
}

void TDUDApplication::SetEditMode(int mode)
{
    editMode_ = mode;
    if (OnEditModeChange)
        OnEditModeChange(this);
}

TDUDApplication* DUDApplication() { return gApplication; }

void DUDHandleException(const TDUDSender& sender, std::exception_ptr e) noexcept
{
    if (!gApplication) {
        pf::reportException(e, sender.ClassName);
        return;
    }
    try {
        gApplication->HandleException(sender, e);
    } catch (...) {
        // The program's exception event (or the log) failed in turn: that
        // failure is reported, and the caller's pass goes on.
        pf::reportException(std::current_exception(), sender.ClassName);
    }
}

std::string DUDApplicationDefaultRegPath()
{
    if (gApplication)
        return gApplication->GetDefaultRegPath();
    return "Software\\" + fileNamePart(pf::executablePath()) + "\\";
}

} // namespace kyd::widgets
