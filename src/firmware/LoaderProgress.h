// What the firmware loader needs of a progress meter: read and set its
// position and its maximum. The downloader window adapts its meter to it;
// tests record the calls.
#pragma once

namespace kyd::firmware {

class TLoaderProgress {
public:
    virtual ~TLoaderProgress() = default;
    virtual int Position() const = 0;
    virtual void SetPosition(int value) = 0;
    virtual int Max() const = 0;
    virtual void SetMax(int value) = 0;
};

} // namespace kyd::firmware
