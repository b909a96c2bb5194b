#include "firmware/DownloaderModel.h"

namespace kyd::firmware {

const char* const kPreparationText =
    "The CMC  must be prepared in the following manner:\n\n1. Turn power off\n2. Connect a jumper between pins 1 "
    "and 2 on JP1 on CMC\nIf necessary one NFC at the time can be flashed manually by\nsetting a jumper on the NFC "
    "of your choice.\n\nNOTE: NFC selected by jumper must be\ntagged BEFORE Power On\n3. Turn power on (when this "
    "message is shown! NOT before)\n\nIMPORTANT!\n\nEven if the CMC is already properly set up - the power\nMUST "
    "be turned off and on (with 10 s delay) while\nthis message is shown.";

const char* const kSuccessText =
    "Prepare CMC for normal operation:\n\n  1. Turn power off\n  2. Remove jumper between pins 1 and 2 on JP1\n  3. "
    "Click on 'Close' to return to main program\n  4. Turn power on\n  5. Please then do a check of that the "
    "correct\n     firmware version has been downloaded.\n";

const char* const kErrorText =
    "An error has occured, please\ncheck and take actions according\nto the problem discovered.\n\nTo Prepare CMC "
    "for normal operational:\n\n  1. Turn power off\n  2. Remove jumper between pins 1 and 2 on JP1\n  3. Click on "
    "'Close' to return to main program\n";

bool IsNfcFile(const std::string& name)
{
    return name.rfind("2006", 0) == 0;
}

int ProgressTotal(TActionMode mode, TRunKind kind, int lines, int nodes)
{
    const int eraseCost = kind == TRunKind::Cmc ? 1000 : 50;
    const int boards = kind == TRunKind::Nodes ? nodes : 1;
    int perBoard = 0;
    if (mode & 1)
        perBoard += eraseCost;
    if (mode & 2)
        perBoard += lines;
    if (mode & 4)
        perBoard += lines;
    return perBoard * boards;
}

int MeterMaximum(int total)
{
    const float extra = static_cast<float>(total) * 0.01275f;
    return total + static_cast<int>(extra);
}

std::vector<TStep> StepsOf(TActionMode mode)
{
    std::vector<TStep> steps;
    if (mode & 1)
        steps.push_back(TStep::Erase);
    if (mode & 2)
        steps.push_back(TStep::Download);
    if (mode & 4)
        steps.push_back(TStep::Verify);
    return steps;
}

const char* StepText(TStep step)
{
    switch (step) {
    case TStep::Erase:
        return "Erasing";
    case TStep::Download:
        return "Downloading";
    case TStep::Verify:
        return "Verifying";
    }
    return "";
}

std::optional<std::string> StartRefusal(const TStartRequest& r)
{
    const bool nfcFile = IsNfcFile(r.FileName);
    const bool nodeSelected = r.AnyNfc || r.Jumper;
    if (nfcFile && nodeSelected && !r.Cmc)
        return std::nullopt;
    if (!r.FileName.empty() && r.Cmc && !nfcFile)
        return std::nullopt;
    if (nfcFile && r.Cmc)
        return std::string("Please select a CMC hex-file for Downloading or Verifying");
    if (r.FileName.empty() && (r.Cmc || nodeSelected))
        return std::string("Please select a Hex-file for Downloading or Verifying");
    if (!nfcFile && nodeSelected)
        return std::string("Please select a NFC hex-file for Downloading or Verifying");
    return std::string("Please select at least one NFC/CMC item for processing.");
}

std::string DoneBeforeFailure(const std::vector<std::string>& done)
{
    if (done.empty())
        return {};
    std::string s = "Done before the failure: ";
    for (std::size_t i = 0; i < done.size(); ++i) {
        if (i)
            s += ", ";
        s += done[i];
    }
    return s;
}

} // namespace kyd::firmware
