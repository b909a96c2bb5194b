#include "platform/qt/qt_document_opener.h"

#include <QObject>
#include <QProcess>
#include <QString>

namespace kyd::platform {

QtDocumentOpener::QtDocumentOpener(std::string program)
    : program_(std::move(program)), owner_(std::make_unique<QObject>())
{
}

QtDocumentOpener::~QtDocumentOpener()
{
    // No callback may run once the opener is gone.
    for (QProcess* p : owner_->findChildren<QProcess*>())
        QObject::disconnect(p, nullptr, nullptr, nullptr);
}

bool QtDocumentOpener::running() const
{
    for (QProcess* p : owner_->findChildren<QProcess*>())
        if (p->state() != QProcess::NotRunning)
            return true;
    return false;
}

std::string QtDocumentOpener::exitCodeText(int code)
{
    switch (code) {
    case 1:
        return "the desktop's opener rejected the request";
    case 2:
        return "the file does not exist";
    case 3:
        return "no application to open it was found";
    case 4:
        return "the application that should open it failed";
    default:
        return "the desktop's opener ended with code " + std::to_string(code);
    }
}

void QtDocumentOpener::open(const std::string& path, const std::string& workDir, OpenFailure onFailure)
{
    auto* p = new QProcess(owner_.get());
    if (!workDir.empty())
        p->setWorkingDirectory(QString::fromLocal8Bit(workDir.c_str()));
    // The opener's chatter is of no interest.
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(p, &QProcess::errorOccurred, p, [this, p, onFailure](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        if (onFailure)
            onFailure(program_ + " could not be started (" + p->errorString().toStdString() + ")");
        p->deleteLater();
    });
    QObject::connect(p, &QProcess::finished, p, [p, onFailure](int code, QProcess::ExitStatus status) {
        if (onFailure) {
            if (status == QProcess::CrashExit)
                onFailure("the desktop's opener ended abnormally");
            else if (code != 0)
                onFailure(exitCodeText(code));
        }
        p->deleteLater();
    });
    p->start(QString::fromLocal8Bit(program_.c_str()), {QString::fromLocal8Bit(path.c_str())});
}

} // namespace kyd::platform
