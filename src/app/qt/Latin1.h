// The dispenser's texts are single bytes; the windows show them as Latin-1.
#pragma once

#include <QString>

#include <string>

namespace kyd::app {

inline QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// What the operator typed, back as the single bytes the dispenser takes.
inline std::string Latin1Std(const QString& s)
{
    return s.toLatin1().toStdString();
}

} // namespace kyd::app
