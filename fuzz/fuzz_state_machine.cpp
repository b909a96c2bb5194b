// The state machine loader: any text is either refused with its error or
// loads into a machine whose stored form loads again to the same text.
#include "serial/SioStMachStore.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    sio::TSioBaseComponent form;
    sio::TSioCustomStateMachine machine(&form);
    std::vector<std::unique_ptr<sio::TSioCustomState>> states;
    try {
        sio::LoadStateMachine(text, machine, &form, states);
    } catch (const sio::EStateMachineLoad&) {
        if (!states.empty() || !machine.States().empty())
            std::abort(); // a refused text leaves nothing behind
        return 0;
    }
    const std::string stored = sio::StoreStateMachine(machine);
    sio::TSioBaseComponent form2;
    sio::TSioCustomStateMachine again(&form2);
    std::vector<std::unique_ptr<sio::TSioCustomState>> states2;
    sio::LoadStateMachine(stored, again, &form2, states2); // must not throw
    if (sio::StoreStateMachine(again) != stored)
        std::abort();
    return 0;
}
