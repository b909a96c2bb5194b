#include "platform/dialogs.h"

#include <atomic>
#include <stdexcept>

namespace kyd::platform {

namespace {
DlgResult firstButton(DlgButtons b)
{
    switch (b) {
    case DlgButtons::Ok:
    case DlgButtons::OkCancel:
        return DlgResult::Ok;
    case DlgButtons::YesNo:
    case DlgButtons::YesNoDefaultNo:
        return DlgResult::Yes;
    case DlgButtons::AbortIgnore:
        return DlgResult::Abort;
    }
    return DlgResult::Ok;
}
} // namespace

DlgResult FakeDialogs::messageDlg(const std::string& text, DlgType type, DlgButtons buttons, TextCoding coding)
{
    std::lock_guard<std::mutex> g(mutex_);
    calls_.push_back(Call{"messageDlg", text, type, buttons, {}, false, {}, coding});
    if (results_.empty())
        return firstButton(buttons);
    DlgResult r = results_.front();
    results_.pop_front();
    return r;
}

void FakeDialogs::showMessage(const std::string& text, TextCoding coding)
{
    std::lock_guard<std::mutex> g(mutex_);
    calls_.push_back(Call{"showMessage", text, DlgType::Information, DlgButtons::Ok, {}, false, {}, coding});
}

bool FakeDialogs::inputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                             TextCoding coding)
{
    std::lock_guard<std::mutex> g(mutex_);
    calls_.push_back(Call{"inputQuery", prompt, DlgType::Information, DlgButtons::OkCancel, {}, false, {}, coding});
    if (inputs_.empty())
        return false;
    std::optional<std::string> a = std::move(inputs_.front());
    inputs_.pop_front();
    if (!a)
        return false;
    value = *a;
    return true;
}

std::optional<std::string> FakeDialogs::openFile(const std::string& title, const std::string& initialDir,
                                                 const std::vector<FileFilter>&)
{
    std::lock_guard<std::mutex> g(mutex_);
    calls_.push_back(Call{"openFile", title, DlgType::Information, DlgButtons::OkCancel, initialDir, false, {}, {}});
    if (files_.empty())
        return std::nullopt;
    std::optional<std::string> f = std::move(files_.front());
    files_.pop_front();
    return f;
}

std::optional<std::string> FakeDialogs::saveFile(const std::string& title, const std::string& initialDir,
                                                 const std::string& defaultName, const std::vector<FileFilter>&,
                                                 bool confirmOverwrite, const std::string& defaultSuffix)
{
    std::lock_guard<std::mutex> g(mutex_);
    calls_.push_back(Call{"saveFile", title, DlgType::Information, DlgButtons::OkCancel,
                          initialDir + "/" + defaultName, confirmOverwrite, defaultSuffix, {}});
    if (files_.empty())
        return std::nullopt;
    std::optional<std::string> f = std::move(files_.front());
    files_.pop_front();
    // As the real dialog does: the suffix goes on a name without one.
    if (f && !defaultSuffix.empty()) {
        const std::size_t slash = f->find_last_of('/');
        const std::string name = f->substr(slash == std::string::npos ? 0 : slash + 1);
        if (!name.empty() && name.find('.') == std::string::npos)
            *f += "." + defaultSuffix;
    }
    return f;
}

void FakeDialogs::queueResult(DlgResult r)
{
    std::lock_guard<std::mutex> g(mutex_);
    results_.push_back(r);
}

void FakeDialogs::queueInput(std::optional<std::string> answer)
{
    std::lock_guard<std::mutex> g(mutex_);
    inputs_.push_back(std::move(answer));
}

void FakeDialogs::queueFile(std::optional<std::string> path)
{
    std::lock_guard<std::mutex> g(mutex_);
    files_.push_back(std::move(path));
}

std::vector<FakeDialogs::Call> FakeDialogs::calls() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return calls_;
}

void FakeDialogs::clear()
{
    std::lock_guard<std::mutex> g(mutex_);
    calls_.clear();
    results_.clear();
    inputs_.clear();
    files_.clear();
}

namespace {
std::atomic<Dialogs*> g_dialogs{nullptr};
}

Dialogs& dialogs()
{
    Dialogs* d = g_dialogs.load(std::memory_order_acquire);
    if (!d)
        throw std::logic_error("no dialogs service installed");
    return *d;
}

void setDialogs(Dialogs* d)
{
    g_dialogs.store(d, std::memory_order_release);
}

namespace {
std::mutex g_titleMutex;
std::string g_title;
} // namespace

void setApplicationTitle(const std::string& title)
{
    std::lock_guard lock(g_titleMutex);
    g_title = title;
}

std::string applicationTitle()
{
    std::lock_guard lock(g_titleMutex);
    return g_title;
}

ScopedFakeDialogs::ScopedFakeDialogs() : previous_(g_dialogs.load(std::memory_order_acquire))
{
    setDialogs(&fake_);
}

ScopedFakeDialogs::~ScopedFakeDialogs()
{
    setDialogs(previous_);
}

} // namespace kyd::platform
