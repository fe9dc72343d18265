// The protocols a transport can speak, named as the server locator's properties name them.
#pragma once

#include <string>

namespace kessmar::dbclient {

// ptTCPIP: TCP to the server's network address. ptSingleUser: the Unix-domain socket of a server
// on this machine. ptIPXSPX does not exist here and never starts; ptRegistry (read the protocol
// from the system's settings) is not supported either. ptNone: no protocol (an empty slot).
enum class Protocol { ptNone, ptSingleUser, ptTCPIP, ptIPXSPX, ptRegistry };

// "ptTCPIP" and so on.
const char* ProtocolName(Protocol protocol);

}  // namespace kessmar::dbclient
