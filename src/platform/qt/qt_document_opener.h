// Opens documents with xdg-open, the desktop's opener. The opener's exit code
// tells whether the document could be opened; a failure reaches the caller's
// callback on the main thread. Create and use it on the main thread.
#pragma once

#include "platform/document_opener.h"

#include <memory>
#include <string>

class QObject;

namespace kyd::platform {

class QtDocumentOpener final : public DocumentOpener {
public:
    // program: the opener to run (tests name another one).
    explicit QtDocumentOpener(std::string program = "xdg-open");
    // Openers still running are ended and their callbacks dropped.
    ~QtDocumentOpener() override;
    void open(const std::string& path, const std::string& workDir, OpenFailure onFailure) override;

    // Whether an opener started here is still running.
    bool running() const;

    // The reason text for an exit code of xdg-open.
    static std::string exitCodeText(int code);

private:
    std::string program_;
    std::unique_ptr<QObject> owner_;
};

} // namespace kyd::platform
