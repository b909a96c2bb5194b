#include "app/qt/ReportFiles.h"

#include "platform/dialogs.h"
#include "platform/report_canvas.h"
#include "platform/safe_file.h"

#include <cstring>
#include <filesystem>

namespace kyd::app {

bool WriteTextFile(const std::string& path, const std::string& text, std::string& reason)
{
    // Written beside the old report and renamed over it: a full disk or a
    // file-size limit leaves the old report whole.
    int err = 0;
    if (platform::replaceFile(path, text.data(), text.size(), nullptr, &err))
        return true;
    reason = std::strerror(err);
    return false;
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
        {{"Text files", "*.txt"}, {"Log files", "*.log"}, {"All files", "*"}}, true, "txt");
    if (!file || file->empty())
        return {};
    // The dialog has added the extension to a name typed without one.
    const std::string path = *file;
    std::string reason;
    std::error_code ec;
    if (!WriteTextFile(path, text, reason)) {
        // Never let the operator believe the report was saved.
        platform::dialogs().messageDlg("Could not write file: " + path + "\n" + reason, platform::DlgType::Error,
                                       platform::DlgButtons::Ok, platform::TextCoding::FileSystem);
        return {};
    }
    LastReportFolder() = std::filesystem::absolute(path, ec).parent_path().string();
    return path;
}

void PrintReport(const std::string& jobTitle, const std::string& reportName,
                 const std::function<bool(platform::ReportCanvas&)>& layout)
{
    std::error_code ec;
    std::filesystem::path folder = LastReportFolder();
    if (folder.empty())
        folder = std::filesystem::current_path(ec);
    const std::string pdf = folder.empty() ? std::string() : (folder / (reportName + ".pdf")).string();
    std::unique_ptr<platform::ReportCanvas> canvas = platform::printing().ChoosePrinter(jobTitle, pdf);
    if (canvas && !layout(*canvas))
        platform::dialogs().messageDlg("Could not print " + jobTitle +
                                           ": the printer or the output file cannot be opened.",
                                       platform::DlgType::Error, platform::DlgButtons::Ok);
}

} // namespace kyd::app
