// The close that waits for a read: what every reading window (transactions,
// self-test, note counters) does when it is closed while it reads.
#include "app/qt/CloseAfterRead.h"

#include <gtest/gtest.h>

namespace kyd::app::test {
namespace {

class ReadingWindow : public CloseAfterReadDialog {
public:
    bool reading = false;
    int stops = 0;
    void EndRead()
    {
        reading = false;
        ReadEnded();
    }

protected:
    bool StopForClose() override
    {
        ++stops;
        return reading;
    }
};

TEST(CloseAfterRead, ClosesAtOnceWhenIdleAndAfterTheReadWithTheLastCloseResult)
{
    ReadingWindow w;
    w.show();
    w.done(QDialog::Accepted);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), int(QDialog::Accepted));
    EXPECT_EQ(w.stops, 1);

    w.show();
    w.reading = true;
    w.accept();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.CloseHeld());
    // A second close while the read ends stops again; its result counts.
    w.reject();
    EXPECT_EQ(w.stops, 3);
    EXPECT_TRUE(w.isVisible());
    w.EndRead();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.CloseHeld());
    EXPECT_EQ(w.result(), int(QDialog::Rejected));

    // A read that ends with no close held leaves the window open.
    w.show();
    w.reading = true;
    w.EndRead();
    EXPECT_TRUE(w.isVisible());
}

} // namespace
} // namespace kyd::app::test
