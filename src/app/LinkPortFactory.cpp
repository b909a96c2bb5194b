#include "app/LinkPortFactory.h"

#include "serial/SioExcept.h"

#include <mutex>
#include <stdexcept>

namespace kyd::app {

namespace {
std::mutex g_mutex;
LinkPortFactory g_factory;
} // namespace

void SetLinkPortFactory(LinkPortFactory factory)
{
    std::lock_guard<std::mutex> g(g_mutex);
    g_factory = std::move(factory);
}

std::unique_ptr<link::LinkPort> MakeLinkPort()
{
    LinkPortFactory f;
    {
        std::lock_guard<std::mutex> g(g_mutex);
        f = g_factory;
    }
    if (f)
        return f();
    return std::make_unique<UnavailableLinkPort>();
}

void UnavailableLinkPort::Open(const link::PortSettings& settings)
{
    settings_ = settings;
    throw std::runtime_error("this program was built without a serial port driver");
}

void UnavailableLinkPort::FlushInBuffer()
{
    throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
}

void UnavailableLinkPort::FlushOutBuffer()
{
    throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
}

void UnavailableLinkPort::PutString(const std::string&)
{
    throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
}

} // namespace kyd::app
