// Small helpers shared by the firmware downloader window's source files.
#pragma once

#include "platform/exception_sink.h"

#include <QString>

#include <filesystem>
#include <string>
#include <system_error>

namespace kyd::firmware::detail {

inline constexpr const char* kTitle = "KYD Firmware Downloader";

inline QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string Std(const QString& s)
{
    return s.toLatin1().toStdString();
}

// File names are bytes in the file system's encoding, not Latin-1 text.
inline QString FileNameText(const std::string& s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string FileNameStd(const QString& s)
{
    return s.toLocal8Bit().toStdString();
}

// Runs a handler so that no exception leaves the Qt event handler.
template <class F>
auto Guard(const char* where, F f)
{
    return [where, f] { platform::guarded(where, f); };
}

inline std::string BaseName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

inline bool FileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

} // namespace kyd::firmware::detail
