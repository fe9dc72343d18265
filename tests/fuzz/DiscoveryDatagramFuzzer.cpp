// Fuzz target: any bytes as a discovery datagram, read both as the request a responder answers
// and as the answer a client collects. What either reader accepts must format back to exactly
// the bytes received, so nothing outside the grammar gets through.
#include <string>
#include <string_view>

#include "dbclient/DiscoveryMessage.h"
#include "dbclient/ServerAddress.h"
#include "fuzz/FuzzTarget.h"

using namespace kessmar::dbclient;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view datagram(reinterpret_cast<const char*>(data), size);

  const auto nonce = ParseDiscoveryRequest(datagram);
  if (nonce) FUZZ_CHECK(FormatDiscoveryRequest(*nonce) == datagram);

  const auto answer = ParseDiscoveryAnswer(datagram);
  if (answer) {
    FUZZ_CHECK(!nonce);  // one datagram is never both
    FUZZ_CHECK(answer->serverAddress.size() <= kMaxAnnouncedAddress);
    FUZZ_CHECK(IsAnnounceableAddress(answer->serverAddress));
    FUZZ_CHECK(FormatDiscoveryAnswer(answer->nonce, answer->serverAddress) == datagram);
    // The client then splits the address it connects to.
    const auto address = ServerAddress::Split(answer->serverAddress);
    FUZZ_CHECK(address && address->ToString() == answer->serverAddress);
    FUZZ_CHECK(address->name.find('@') == std::string::npos);
  }

  // What a responder would announce, when the bytes happen to be a valid server address.
  if (IsAnnounceableAddress(datagram)) {
    const std::string formatted = FormatDiscoveryAnswer(0x1234abcd, datagram);
    const auto back = ParseDiscoveryAnswer(formatted);
    FUZZ_CHECK(back && back->nonce == 0x1234abcd && back->serverAddress == datagram);
  }
  return 0;
}
