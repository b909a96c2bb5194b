// Placing a state that has no machine yet.
#include "serial/SioStMach.h"

namespace sio {

std::string NewStateMachineName(const TSioBaseComponent* owner)
{
    for (int n = 1;; ++n) {
        const std::string name = "SioStateMachine" + std::to_string(n);
        bool taken = false;
        if (owner)
            for (const TSioBaseComponent* c : owner->Components())
                if (c->Name == name) {
                    taken = true;
                    break;
                }
        if (!taken)
            return name;
    }
}

TSioCustomStateMachine* PlaceState(TSioCustomState& state, TSioBaseComponent* owner,
                                   std::unique_ptr<TSioCustomStateMachine>& created)
{
    if (owner)
        for (TSioBaseComponent* c : owner->Components())
            if (auto* m = dynamic_cast<TSioCustomStateMachine*>(c)) {
                state.SetMachine(m);
                return m;
            }
    const std::string name = NewStateMachineName(owner);
    created = std::make_unique<TSioCustomStateMachine>(owner);
    created->Name = name;
    state.SetMachine(created.get());
    state.SetBounds(10, 10, state.Width(), state.Height());
    return created.get();
}

} // namespace sio
