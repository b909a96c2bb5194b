// Message dialogs, input queries and file choosers.
//
// Code calls dialogs(); the program installs the Qt implementation
// (platform/qt/qt_dialogs.h), tests install a FakeDialogs that records every
// call and returns queued answers, so no test ever blocks on a modal box.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kyd::platform {

enum class DlgType { Error, Warning, Information, Confirmation };
// YesNoDefaultNo: a question whose Yes destroys something; No is the default
// button, so Enter does not say Yes.
enum class DlgButtons { Ok, OkCancel, YesNo, AbortIgnore, YesNoDefaultNo };
enum class DlgResult { Ok, Cancel, Yes, No, Abort, Ignore };
// How the bytes of a message are read. The dispenser's texts and the
// program's own are single bytes, shown as Latin-1. A message that names a
// file is in the file system's encoding (its names are UTF-8 bytes), so that
// a name reads as the file system gives it, not as two Latin-1 characters
// for each letter outside ASCII; such a message is composed of file names,
// system error texts and plain ASCII only. A text a user wrote in a file
// that is valid UTF-8 (a script saved by a current editor) is read as UTF-8.
enum class TextCoding { Latin1, FileSystem, Utf8 };

struct FileFilter {
    std::string description; // "TDL scripts"
    std::string pattern;      // "*.tdl"
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Text is plain text (replies are device data, never markup), its bytes
    // read as coding says.
    virtual DlgResult messageDlg(const std::string& text, DlgType type, DlgButtons buttons,
                                 TextCoding coding = TextCoding::Latin1) = 0;
    virtual void showMessage(const std::string& text, TextCoding coding = TextCoding::Latin1) = 0;
    // True when confirmed; value holds the initial text and receives the
    // answer. coding says how the prompt's bytes are read.
    virtual bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                            TextCoding coding = TextCoding::Latin1) = 0;
    virtual std::optional<std::string> openFile(const std::string& title, const std::string& initialDir,
                                                const std::vector<FileFilter>& filters) = 0;
    // A file to write, which may be a new one. confirmOverwrite asks before
    // an existing file is chosen (off for files that are appended to).
    // defaultSuffix ("txt") is added to a name typed without an extension,
    // before the question about an existing file is asked.
    virtual std::optional<std::string> saveFile(const std::string& title, const std::string& initialDir,
                                                const std::string& defaultName,
                                                const std::vector<FileFilter>& filters,
                                                bool confirmOverwrite = true,
                                                const std::string& defaultSuffix = {}) = 0;
};

// Records every call; answers come from queues, with a default when a queue
// is empty (messageDlg: the first button of the set; inputQuery: cancel;
// file choosers: cancel). A saved file's name without an extension gets the
// default suffix, as the real dialog gives it.
class FakeDialogs final : public Dialogs {
public:
    struct Call {
        std::string kind; // "messageDlg", "showMessage", "inputQuery", "openFile", "saveFile"
        std::string text; // message text, prompt or title
        DlgType type = DlgType::Information;
        DlgButtons buttons = DlgButtons::Ok;
        std::string start; // file choosers: the folder, and the file name offered
        bool confirmOverwrite = false;
        std::string defaultSuffix; // saveFile
        TextCoding coding = TextCoding::Latin1; // messageDlg, showMessage, inputQuery
    };

    DlgResult messageDlg(const std::string& text, DlgType type, DlgButtons buttons,
                         TextCoding coding = TextCoding::Latin1) override;
    void showMessage(const std::string& text, TextCoding coding = TextCoding::Latin1) override;
    bool inputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                    TextCoding coding = TextCoding::Latin1) override;
    std::optional<std::string> openFile(const std::string& title, const std::string& initialDir,
                                        const std::vector<FileFilter>& filters) override;
    std::optional<std::string> saveFile(const std::string& title, const std::string& initialDir,
                                        const std::string& defaultName, const std::vector<FileFilter>& filters,
                                        bool confirmOverwrite = true, const std::string& defaultSuffix = {}) override;

    void queueResult(DlgResult r);
    void queueInput(std::optional<std::string> answer); // nullopt = cancel
    void queueFile(std::optional<std::string> path);    // nullopt = cancel

    std::vector<Call> calls() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::deque<DlgResult> results_;
    std::deque<std::optional<std::string>> inputs_;
    std::deque<std::optional<std::string>> files_;
};

Dialogs& dialogs();
// The caller keeps ownership; nullptr uninstalls (using dialogs() then is a bug).
void setDialogs(Dialogs* d);

// The application's title: the caption of showMessage boxes. It is kept
// apart from the window titles, which the desktop shows exactly as set.
void setApplicationTitle(const std::string& title);
std::string applicationTitle();

// RAII helper for tests.
class ScopedFakeDialogs {
public:
    ScopedFakeDialogs();
    ~ScopedFakeDialogs();
    FakeDialogs& operator*() { return fake_; }
    FakeDialogs* operator->() { return &fake_; }

private:
    FakeDialogs fake_;
    Dialogs* previous_;
};

} // namespace kyd::platform
