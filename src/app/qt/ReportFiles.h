// Saving and printing the module reports: the save dialog (starting in the
// folder of the communication log) and a clear message when the file
// cannot be written; the print dialog and the report layout on its canvas.
#pragma once

#include <functional>
#include <string>

namespace kyd::platform {
class ReportCanvas;
}

namespace kyd::app {

// Asks for a file (default name and extension "txt", which the dialog adds
// to a name typed without one before it asks about replacing a file) and
// writes text to it; a file that cannot be written is reported with the system's reason.
// Returns the path written, empty when cancelled or failed.
std::string SaveReportFile(const std::string& logFile, const std::string& defaultName, const std::string& text);

// Replaces the file at path with text (a new file renamed over the old one,
// which stays whole when writing fails); on failure, the system's reason in
// reason.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& reason);

// Prints through the print dialog; nothing when it is cancelled. Printing
// to a file offers reportName + ".pdf" in the folder of the report saved
// last, else in the working folder. A layout that returns false (its
// output could not be opened) is reported to the operator.
void PrintReport(const std::string& jobTitle, const std::string& reportName,
                 const std::function<bool(platform::ReportCanvas&)>& layout);

} // namespace kyd::app
