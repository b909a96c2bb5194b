// What the data packet sources share: how an exception of an event handler
// is reported.
#pragma once

#include "platform/exception_sink.h"

#include <exception>
#include <string_view>

namespace sio {
namespace {

constexpr std::string_view kWhere = "data packet trigger handler";

// Runs f; an exception goes to the exception sink.
template <class F>
void Reported(F&& f) noexcept
{
    try {
        f();
    } catch (...) {
        kyd::platform::reportException(std::current_exception(), kWhere);
    }
}

} // namespace
} // namespace sio
