// Opening a document with the desktop's default application (the help
// files). The program installs the Qt implementation
// (platform/qt/qt_document_opener.h), which runs xdg-open; tests install a
// FakeDocumentOpener.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kyd::platform {

// Receives a readable reason when the document could not be opened; runs on
// the main thread, possibly after open() has returned.
using OpenFailure = std::function<void(const std::string& reason)>;

class DocumentOpener {
public:
    virtual ~DocumentOpener() = default;
    // Starts opening path with workDir as the working folder; never blocks.
    virtual void open(const std::string& path, const std::string& workDir, OpenFailure onFailure) = 0;
};

// Records every request; fails it at once when failWith is set.
class FakeDocumentOpener final : public DocumentOpener {
public:
    struct Request {
        std::string path;
        std::string workDir;
    };
    void open(const std::string& path, const std::string& workDir, OpenFailure onFailure) override;

    std::vector<Request> requests() const;
    void failWith(std::optional<std::string> reason);

private:
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::optional<std::string> failure_;
};

// The opener in force; using it before one is installed throws logic_error.
DocumentOpener& documentOpener();
// The caller keeps ownership; nullptr uninstalls.
void setDocumentOpener(DocumentOpener* opener);

} // namespace kyd::platform
