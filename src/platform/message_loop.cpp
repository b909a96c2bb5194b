#include "platform/message_loop.h"

#include <algorithm>
#include <atomic>
#include <shared_mutex>
#include <stdexcept>

namespace kyd::platform {

void SyncToken::cancel()
{
    cancelled_.store(true, std::memory_order_release);
    std::lock_guard<std::mutex> g(mutex_);
    for (auto& [id, hook] : hooks_)
        if (hook)
            hook();
}

void SyncToken::reset()
{
    cancelled_.store(false, std::memory_order_release);
}

std::uint64_t MessageLoop::addCancelHook(SyncToken& t, std::function<void()> f)
{
    std::lock_guard<std::mutex> g(t.mutex_);
    std::uint64_t id = t.nextHook_++;
    t.hooks_.emplace_back(id, std::move(f));
    return id;
}

void MessageLoop::removeCancelHook(SyncToken& t, std::uint64_t id)
{
    std::lock_guard<std::mutex> g(t.mutex_);
    t.hooks_.erase(std::remove_if(t.hooks_.begin(), t.hooks_.end(), [id](const auto& p) { return p.first == id; }),
                   t.hooks_.end());
}

namespace {
std::atomic<MessageLoop*> g_loop{nullptr};
// Held shared by withInstalledLoop, exclusively while the loop changes.
std::shared_mutex g_installMutex;
}

MessageLoop& messageLoop()
{
    MessageLoop* l = g_loop.load(std::memory_order_acquire);
    if (!l)
        throw std::logic_error("no message loop installed");
    return *l;
}

bool hasMessageLoop()
{
    return g_loop.load(std::memory_order_acquire) != nullptr;
}

bool withInstalledLoop(const std::function<void(MessageLoop&)>& fn)
{
    std::shared_lock lock(g_installMutex);
    MessageLoop* l = g_loop.load(std::memory_order_acquire);
    if (!l)
        return false;
    fn(*l);
    return true;
}

void setMessageLoop(MessageLoop* loop)
{
    std::unique_lock lock(g_installMutex);
    g_loop.store(loop, std::memory_order_release);
}

} // namespace kyd::platform
