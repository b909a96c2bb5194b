// The global list of packet managers: one manager per port component that
// has packets bound to it.
//
// A manager is created by the first packet bound to a port and is freed
// through a posted message after its last packet has left (not while it is
// delivering an event; then the message is posted again a little later).
// The manager listens to the port's open and close notices (it registers as
// an Ex callback user of the port) and reaches the port's dispatcher through
// a host object that routes the dispatcher's "data available" and timer
// notices to it on the dispatch thread.
#pragma once

#include "serial/SioPacket.h"

#include <cstddef>

namespace sio {

class TSioCustomComPort;

class TSioDataPacketManagerList {
public:
    // The manager of a port, nullptr when it has none.
    static TSioDataPacketManager* Find(const TSioCustomComPort* port);
    // The manager of a port, created when it has none.
    static TSioDataPacketManager& Obtain(TSioCustomComPort& port);
    // A packet left the port's manager: free the manager once it is empty.
    static void PacketLeft(TSioCustomComPort& port);
    // The port is being destroyed: its packets are unbound and its manager
    // freed (once it has finished delivering, when the port is freed from
    // inside one of its events).
    static void PortDestroyed(TSioCustomComPort& port);
    // Managers alive, also those of freed ports still finishing an event.
    static std::size_t Count();
};

} // namespace sio
