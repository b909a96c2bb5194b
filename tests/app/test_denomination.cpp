// The denomination type: code and text forms, and what does not parse.
#include "app/Denomination.h"

#include <gtest/gtest.h>

namespace kyd::app {
namespace {

TEST(Denomination, CodeForm)
{
    TDenomination d("EUR050");
    EXPECT_TRUE(d.Valid);
    EXPECT_EQ(d.Currency, "EUR");
    EXPECT_EQ(d.Value, 5);
    EXPECT_EQ(d.Variant, ' ');
    EXPECT_EQ(d.Text, "EUR 5");
    EXPECT_EQ(TDenomination("EUR052").Value, 500);
    EXPECT_EQ(TDenomination("EUR251").Value, 250);
    TDenomination v("SEK102A");
    EXPECT_TRUE(v.Valid);
    EXPECT_EQ(v.Value, 1000); // 10 x 10^2
    EXPECT_EQ(v.Variant, 'A');
    EXPECT_EQ(v.Text, "SEK 1000 A");
    EXPECT_EQ(v.Code, "SEK102A");
    // The simulator's default: a blank variant is a variant too.
    EXPECT_EQ(TDenomination("EUR101 ").Text, "EUR 100  ");
    // Text and code agree both ways.
    EXPECT_EQ(TDenomination(TDenomination("SEK 100 A").Code).Text, "SEK 100 A");
}

TEST(Denomination, TextForm)
{
    TDenomination a("EUR 500 A");
    EXPECT_TRUE(a.Valid);
    EXPECT_EQ(a.Code, "EUR052A");
    EXPECT_EQ(a.Value, 500);
    EXPECT_EQ(a.Variant, 'A');
    EXPECT_EQ(TDenomination("EUR 20 B").Code, "EUR021B");
    EXPECT_EQ(TDenomination("EUR 25 C").Code, "EUR250C");
    EXPECT_EQ(TDenomination("EUR 255").Code, "EUR251 ");
    TDenomination b("EUR 500");
    EXPECT_TRUE(b.Valid);
    EXPECT_EQ(b.Value, 500);
    EXPECT_EQ(b.Code, "EUR052 ");
    EXPECT_EQ(TDenomination("GBP   5").Code, "GBP050 ");
}

TEST(Denomination, Invalid)
{
    for (const char* s : {"EUR000", "EURX01", "EUR05", "EUR", "", "1UR050", "EUR05A", "EUR0512A", "EUR    ",
                          "EUR 500 ", "EUR 5 0 A", "EUR 12345678901", "EUR 99999999999 A"}) {
        SCOPED_TRACE(s);
        TDenomination d(s);
        EXPECT_FALSE(d.Valid);
    }
    // Ten-digit values and the largest code are held exactly (64 bits).
    EXPECT_EQ(TDenomination("EUR 9999999999").Value, 9999999999);
    EXPECT_EQ(TDenomination("EUR999").Value, 99000000000);
}

} // namespace
} // namespace kyd::app
