#include "app/qt/ReportFiles.h"

#include "platform/dialogs.h"
#include "platform/report_canvas.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kyd::app {

bool WriteTextFile(const std::string& path, const std::string& text, std::string& reason)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        reason = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int writeErr = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        reason = std::strerror(written ? errno : writeErr);
        return false;
    }
    return true;
}

namespace {

// The folder of the report saved last in this run; empty before the first.
std::string& LastReportFolder()
{
    static std::string folder;
    return folder;
}

} // namespace

std::string SaveReportFile(const std::string& logFile, const std::string& defaultName, const std::string& text)
{
    const std::string folder = std::filesystem::path(logFile).parent_path().string();
    std::optional<std::string> file = platform::dialogs().saveFile(
        "Save As", folder, defaultName + ".txt",
        {{"Text files", "*.txt"}, {"Log files", "*.log"}, {"All files", "*.*"}}, true);
    if (!file || file->empty())
        return {};
    std::string path = *file;
    if (std::filesystem::path(path).extension().empty())
        path += ".txt";
    std::string reason;
    std::error_code ec;
    if (!WriteTextFile(path, text, reason)) {
        // Never let the operator believe the report was saved.
        platform::dialogs().messageDlg("Could not write file: " + path + "\n" + reason, platform::DlgType::Error,
                                       platform::DlgButtons::Ok);
        return {};
    }
    LastReportFolder() = std::filesystem::absolute(path, ec).parent_path().string();
    return path;
}

void PrintReport(const std::string& jobTitle, const std::string& reportName,
                 const std::function<void(platform::ReportCanvas&)>& layout)
{
    std::error_code ec;
    std::filesystem::path folder = LastReportFolder();
    if (folder.empty())
        folder = std::filesystem::current_path(ec);
    const std::string pdf = folder.empty() ? std::string() : (folder / (reportName + ".pdf")).string();
    std::unique_ptr<platform::ReportCanvas> canvas = platform::printing().ChoosePrinter(jobTitle, pdf);
    if (canvas)
        layout(*canvas);
}

} // namespace kyd::app
