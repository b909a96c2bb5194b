// The downloader window's decisions without widgets: progress totals, the
// meter's maximum and Start's refusals in their order.
#include "firmware/DownloaderModel.h"

#include <gtest/gtest.h>

namespace kyd::firmware {
namespace {

TEST(DownloaderModel, ProgressTotalsAndMeterMaximum)
{
    // NFC 2 and NFC 5, a 1000-line file, Erase->Download->Verify.
    EXPECT_EQ(ProgressTotal(amEraseDownloadVerify, TRunKind::Nodes, 1000, 2), 4100);
    EXPECT_EQ(MeterMaximum(4100), 4152);
    // The CMC, Erase->Download.
    EXPECT_EQ(ProgressTotal(amEraseDownload, TRunKind::Cmc, 1000, 0), 2000);
    EXPECT_EQ(MeterMaximum(2000), 2025);
    EXPECT_EQ(ProgressTotal(amEraseDownloadVerify, TRunKind::Cmc, 10, 0), 1020);
    EXPECT_EQ(ProgressTotal(amDownloadVerify, TRunKind::JumperNode, 10, 1), 20);
    EXPECT_EQ(ProgressTotal(amVerifyOnly, TRunKind::Nodes, 10, 3), 30);
    EXPECT_EQ(ProgressTotal(amEraseDownload, TRunKind::JumperNode, 10, 1), 60);
    EXPECT_EQ(MeterMaximum(0), 0);
}

TEST(DownloaderModel, StartRefusalsInTheirOrder)
{
    using R = TStartRequest;
    EXPECT_FALSE(StartRefusal(R{"2006abc.hex", false, false, true}));
    EXPECT_FALSE(StartRefusal(R{"2006abc.hex", false, true, false}));
    EXPECT_FALSE(StartRefusal(R{"cmc.hex", true, false, false}));
    EXPECT_EQ(*StartRefusal(R{"2006abc.hex", true, false, false}),
              "Please select a CMC hex-file for Downloading or Verifying");
    EXPECT_EQ(*StartRefusal(R{"", true, false, false}), "Please select a Hex-file for Downloading or Verifying");
    EXPECT_EQ(*StartRefusal(R{"", false, false, true}), "Please select a Hex-file for Downloading or Verifying");
    EXPECT_EQ(*StartRefusal(R{"cmc.hex", false, true, false}),
              "Please select a NFC hex-file for Downloading or Verifying");
    EXPECT_EQ(*StartRefusal(R{"cmc.hex", false, false, false}),
              "Please select at least one NFC/CMC item for processing.");
    EXPECT_EQ(*StartRefusal(R{"2006abc.hex", false, false, false}),
              "Please select at least one NFC/CMC item for processing.");
    EXPECT_TRUE(IsNfcFile("2006"));
    EXPECT_FALSE(IsNfcFile("x2006.hex"));
}

TEST(DownloaderModel, StepsAndTheBoardsDone)
{
    EXPECT_EQ(StepsOf(amVerifyOnly), std::vector<TStep>{TStep::Verify});
    EXPECT_EQ(StepsOf(amEraseDownloadVerify), (std::vector<TStep>{TStep::Erase, TStep::Download, TStep::Verify}));
    EXPECT_EQ(DoneBeforeFailure({}), "");
    EXPECT_EQ(DoneBeforeFailure({"NFC 1", "NFC 3"}), "Done before the failure: NFC 1, NFC 3");
}

} // namespace
} // namespace kyd::firmware
