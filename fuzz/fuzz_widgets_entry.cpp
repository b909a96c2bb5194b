// One fuzz target per entry point of the component library's loaders
// (tests/widgets/support_fuzz_entries.h and support_shape_fuzz.h): the build names the entry in
// KYD_FUZZ_ENTRY, so each entry is its own program with its own corpus.
#include "widgets/support_fuzz_entries.h"
#include "widgets/support_shape_fuzz.h"

#ifndef KYD_FUZZ_ENTRY
#error "KYD_FUZZ_ENTRY must name an entry of kyd::widgets::fuzz"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return kyd::widgets::fuzz::KYD_FUZZ_ENTRY(data, size);
}
