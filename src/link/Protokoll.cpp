#include "link/Protokoll.h"

#include "link/StatusTexts.h"

#include <cstdio>

namespace kyd::link {

void FeederData::Clear()
{
    *this = FeederData{};
}

Protokoll::Protokoll()
{
    Clear();
}

void Protokoll::Clear()
{
    ProgramId.clear();
    StringBase = 0;
    StatusClass = 0;
    StatusCode = 0;
    CodeText.clear();
    ClearFeeders();
    NotesThisDispense = 0;
    NotesDelivered = 0;
    TotalNotes = 0;
    DispenseCount = 0;
    LastCassette = 0;
    Trace.clear();
}

void Protokoll::ClearFeeders()
{
    feeders_.clear();
}

void Protokoll::SetFeeders(FeederList feeders)
{
    feeders_ = std::move(feeders);
}

FeederList Protokoll::TakeFeeders()
{
    FeederList out = std::move(feeders_);
    feeders_.clear();
    return out;
}

FeederData* Protokoll::FindFeeder(int number) const
{
    for (const auto& f : feeders_)
        if (f->Number == number)
            return f.get();
    return nullptr;
}

FeederData* Protokoll::FirstFeeder()
{
    cursor_ = 0;
    return feeders_.empty() ? nullptr : feeders_.front().get();
}

FeederData* Protokoll::NextFeeder()
{
    if (cursor_ < feeders_.size())
        ++cursor_;
    return cursor_ < feeders_.size() ? feeders_[cursor_].get() : nullptr;
}

void Protokoll::SetCode(int code)
{
    StatusCode = code;
    CodeText = StatusCodeText(StringBase + code);
    if (CodeText.empty())
        SetUnknownText(code);
}

void Protokoll::SetCharCode(int code)
{
    StatusCode = code;
    CodeText = (code >= 48 && code <= 127) ? StatusCodeText(StringBase + code) : std::string();
    if (CodeText.empty())
        SetUnknownText(code);
}

void Protokoll::SetUnknownText(int code)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(code));
    CodeText = StatusCodeText(StringBase + kCodeUnknownStatus) + "  " + hex;
}

bool Protokoll::Succeeded() const
{
    return StatusClass == kClassWarning && StatusCode != kCodeCommunicationCanceled;
}

} // namespace kyd::link
