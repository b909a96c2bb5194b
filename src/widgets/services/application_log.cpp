// The application object's log file, its exception handling, its pattern
// bitmaps and the guard of controls that may exist once per form.
#include "widgets/services/application.h"

#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "platform/program_path.h"
#include "widgets/services/sysinfo.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kyd::widgets {

namespace pf = kyd::platform;
namespace fs = std::filesystem;

namespace {

std::string Stamp(const char* format)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(pf::clock().wallNow());
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    return std::strftime(buf, sizeof buf, format, &tm) ? buf : "";
}

std::string Date() { return Stamp("%Y-%m-%d"); }
std::string Time() { return Stamp("%H:%M:%S"); }

std::shared_ptr<const TBrushPattern> Checkerboard(TColor color)
{
    auto p = std::make_shared<TBrushPattern>();
    p->Width = p->Height = 8;
    p->Pixels.assign(64, clWhite);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if ((x + y) % 2 == 1)
                p->Pixels[static_cast<std::size_t>(y * 8 + x)] = color;
    return p;
}

} // namespace

bool TDUDApplication::LogWrite(const std::string& text)
{
    std::error_code ec;
    bool anew = false;
    if (LogSize > 100 && fs::file_size(logName_, ec) > static_cast<std::uintmax_t>(LogSize) && !ec) {
        bool cancel = false;
        if (OnLogSizeExceeded)
            OnLogSizeExceeded(this, cancel);
        if (cancel)
            return false;
        if (LogSizeAction == 1) {
            anew = true;
        } else if (LogSizeAction == 2) {
            fs::path kept;
            for (int n = 0;; ++n) {
                kept = fs::path(logName_).replace_extension(".l" + std::to_string(n));
                if (!fs::exists(kept, ec))
                    break;
            }
            fs::rename(logName_, kept, ec);
            if (ec)
                return false;
            anew = true;
        }
    }
    const bool create = anew || !fs::exists(logName_, ec) || ((Options & 4) && !logStarted_);
    std::ofstream f(logName_, create ? std::ios::binary | std::ios::trunc : std::ios::binary | std::ios::app);
    if (!f)
        return false;
    auto header = [&] {
        f << "\nLogFile started: " << Date() << ' ' << Time() << '\n';
        f << "Application    : " << Title << '\n';
        f << "Path/ExeName   : " << pf::executablePath() << '\n';
        const std::string version = DUDSIVersionInfo(TDUDVersionInfoType::viVersion);
        if (!version.empty())
            f << "Version        : " << version << '\n';
        if (OnLogHeader) {
            std::vector<std::string> lines;
            OnLogHeader(this, lines);
            for (const auto& l : lines)
                f << l << '\n';
        }
        f << std::string(80, '*') << "\n\nEntries:\n";
    };
    if (anew || ((Options & 16) && !logStarted_))
        header();
    logStarted_ = true;
    if (text == "#Header") {
        header();
    } else if (text == "#Line") {
        f << std::string(80, '-') << '\n';
    } else if (text == "#CR") {
        f << '\n';
    } else {
        ++logEntries_;
        std::string line;
        for (char c : LogTemplate) {
            switch (c) {
            case '#':
                if (Options & 32) {
                    char n[16];
                    std::snprintf(n, sizeof n, "%.5d: ", logEntries_);
                    line += n;
                }
                break;
            case 't':
                if (Options & 64)
                    line += " [" + Time() + "]";
                break;
            case 'd':
                if (Options & 128)
                    line += " [" + Date() + "]";
                break;
            case 'l': line += (line.empty() || line.back() == ' ' ? "" : " ") + text; break;
            default: line += c;
            }
        }
        f << line << '\n';
    }
    f.flush();
    return static_cast<bool>(f);
}

bool TDUDApplication::LogException(const TDUDSender& sender, std::exception_ptr e)
{
    std::string message = pf::describeException(e);
    const void* address = nullptr;
    try {
        if (e)
            std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        address = &ex;
    } catch (...) {
    }
    char tail[64];
    std::snprintf(tail, sizeof tail, ", Address: %p", address);
    const std::string who =
        sender.Name.empty() ? sender.ClassName + ": " : sender.ClassName + " (Name: " + sender.Name + "): ";
    return LogWrite(who + message + tail);
}

void TDUDApplication::HandleException(const TDUDSender& sender, std::exception_ptr e)
{
    bool handled = false;
    if (OnException)
        OnException(sender, e, handled);
    if (handled)
        return;
    if (Options & 8)
        LogException(sender, e);
    pf::reportException(e, sender.ClassName);
}

std::shared_ptr<const TBrushPattern> TDUDApplication::GetBrushBitmap(TColor color)
{
    if (!brush_ || brushColor_ != color) {
        brush_ = Checkerboard(color);
        brushColor_ = color;
    }
    return brush_;
}

std::shared_ptr<const TBrushPattern> TDUDApplication::GetBitmap()
{
    if (!bitmap_)
        bitmap_ = Checkerboard(clBlack);
    return bitmap_;
}

bool DUDCheckForSameClass(bool ownerIsForm, bool ownerIsDataModule, const std::vector<std::string>& classesOfOwner,
                          const std::string& className, bool allowDataModules)
{
    if (className.empty())
        return false;
    if (!ownerIsForm && !(allowDataModules && ownerIsDataModule))
        return true;
    int found = 0;
    for (const auto& c : classesOfOwner)
        if (c == className && ++found > 1)
            return true;
    return false;
}

void DUDEOneInstError(const std::string& className)
{
    throw EDUDOneInst(className + ":\n" + "Already one " + className + " control in this project!");
}

} // namespace kyd::widgets
