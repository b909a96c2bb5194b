#include "platform/document_opener.h"

#include <atomic>
#include <stdexcept>

namespace kyd::platform {

namespace {
std::atomic<DocumentOpener*> g_opener{nullptr};
} // namespace

void FakeDocumentOpener::open(const std::string& path, const std::string& workDir, OpenFailure onFailure)
{
    std::optional<std::string> failure;
    {
        std::lock_guard<std::mutex> g(mutex_);
        requests_.push_back({path, workDir});
        failure = failure_;
    }
    if (failure && onFailure)
        onFailure(*failure);
}

std::vector<FakeDocumentOpener::Request> FakeDocumentOpener::requests() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return requests_;
}

void FakeDocumentOpener::failWith(std::optional<std::string> reason)
{
    std::lock_guard<std::mutex> g(mutex_);
    failure_ = std::move(reason);
}

DocumentOpener& documentOpener()
{
    DocumentOpener* o = g_opener.load(std::memory_order_acquire);
    if (!o)
        throw std::logic_error("no document opener installed");
    return *o;
}

void setDocumentOpener(DocumentOpener* opener)
{
    g_opener.store(opener, std::memory_order_release);
}

} // namespace kyd::platform
