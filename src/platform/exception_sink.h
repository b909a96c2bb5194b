// Where an exception goes that reaches an event handler or a worker thread.
// No exception may leave a Qt event handler or a std::thread body: such code
// runs its work through guarded(), and the sink decides what the user sees
// (a message box in the program, a recorder in tests).
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include <mutex>

namespace kyd::platform {

using ExceptionSink = std::function<void(std::exception_ptr, std::string_view where)>;

// Installs the sink; an empty function restores the default, which writes
// the message to standard error.
void setExceptionSink(ExceptionSink sink);
// The sink in force (empty when the default is in force).
ExceptionSink exceptionSink();
void reportException(std::exception_ptr e, std::string_view where) noexcept;
// The what() text of an exception_ptr ("unknown exception" for non-std ones).
std::string describeException(std::exception_ptr e);

template <class F>
void guarded(std::string_view where, F&& f) noexcept
{
    try {
        f();
    } catch (...) {
        reportException(std::current_exception(), where);
    }
}

// Test helper: records what reaches the sink while it lives.
// messages() holds the what() texts, where() the matching places; the
// previous sink is restored at the end of the scope.
class ExceptionRecorder {
public:
    ExceptionRecorder();
    ~ExceptionRecorder();
    ExceptionRecorder(const ExceptionRecorder&) = delete;
    ExceptionRecorder& operator=(const ExceptionRecorder&) = delete;
    std::vector<std::string> messages() const;
    std::vector<std::string> where() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<std::string> where_;
    ExceptionSink previous_;
};

} // namespace kyd::platform
