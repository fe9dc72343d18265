// The discovery datagrams: the grammar both ways, and a fuzz run of the answer parser (random and
// mutated datagrams parse or are refused; nothing else happens, and what parses is valid).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "dbclient/DiscoveryMessage.h"
#include "dbclient/ServerAddress.h"

namespace kessmar::dbclient {
namespace {

TEST(DiscoveryMessageTest, RequestAndAnswerFollowTheGrammar) {
  EXPECT_EQ(FormatDiscoveryRequest(0x5f3a9c01), "KESSMAR-DB-WHO 1 5f3a9c01");
  EXPECT_EQ(ParseDiscoveryRequest("KESSMAR-DB-WHO 1 5f3a9c01"), 0x5f3a9c01u);
  const std::string answer = FormatDiscoveryAnswer(7, "VEMOPRO@192.168.1.5");
  EXPECT_EQ(answer, "KESSMAR-DB-HERE 1 00000007 VEMOPRO@192.168.1.5");
  const auto parsed = ParseDiscoveryAnswer(answer);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->nonce, 7u);
  EXPECT_EQ(parsed->serverAddress, "VEMOPRO@192.168.1.5");
  EXPECT_TRUE(ParseDiscoveryAnswer("KESSMAR-DB-HERE 1 0000000a local@/run/user/0/pg"));

  for (const char* bad : {
           "KESSMAR-DB-HERE 1 00000007 VEMOPRO@192.168.1.5\n",  // trailing byte
           "KESSMAR-DB-HERE 2 00000007 VEMOPRO@192.168.1.5",    // other version
           "KESSMAR-DB-HERE 1 0000007 VEMOPRO@192.168.1.5",     // short nonce
           "KESSMAR-DB-HERE 1 0000000A VEMOPRO@192.168.1.5",    // upper-case hex
           "KESSMAR-DB-HERE 1 00000007 VEMOPRO",                // no address
           "KESSMAR-DB-HERE 1 00000007 @192.168.1.5",           // no name
           "KESSMAR-DB-HERE 1 00000007 VEMO PRO@192.168.1.5",   // space in the name
           "KESSMAR-DB-HERE 1 00000007 VEMOPRO@1.2.3.4@5",      // second @
           "KESSMAR-DB-WHO 1 00000007",                         // a request
       }) {
    EXPECT_FALSE(ParseDiscoveryAnswer(bad)) << bad;
  }
  // The answer carries at most what a server name can be read back with.
  const std::string longest(kServerNameReadLimit - 8, 'a');
  EXPECT_TRUE(ParseDiscoveryAnswer(FormatDiscoveryAnswer(1, "VEMOPRO@" + longest)));
  EXPECT_THROW(FormatDiscoveryAnswer(1, "VEMOPRO@" + longest + "a"), std::invalid_argument);
  EXPECT_FALSE(ParseDiscoveryRequest("KESSMAR-DB-WHO 1 5f3a9c0"));
  EXPECT_FALSE(ParseDiscoveryRequest("KESSMAR-DB-WHO 1 5f3a9c011"));
}

TEST(DiscoveryMessageTest, FuzzedAnswersParseOnlyWhenValid) {
  std::mt19937 random(20240607);
  const std::string seeds[] = {
      FormatDiscoveryAnswer(0xdeadbeef, "VEMOPRO@127.0.0.1"),
      FormatDiscoveryAnswer(1, "A@b"),
      FormatDiscoveryAnswer(0, "local@/tmp/kessmar-test-abc/cluster/socket"),
  };
  static const char kAlphabet[] = "KESMAR-DBHW 10123456789abcdef@./:_\n\r\t\x00\xff\x80zZ";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  int parsed = 0;
  for (int round = 0; round < 60000; ++round) {
    std::string datagram;
    if (round % 4 == 0) {
      // Random bytes.
      const size_t size = random() % 96;
      for (size_t i = 0; i < size; ++i) datagram += static_cast<char>(random() % 256);
    } else {
      datagram = seeds[random() % 3];
      const int edits = 1 + static_cast<int>(random() % 4);
      for (int e = 0; e < edits; ++e) {
        const size_t pos = datagram.empty() ? 0 : random() % datagram.size();
        switch (random() % 4) {
          case 0:
            if (!datagram.empty()) datagram[pos] = alphabet[random() % alphabet.size()];
            break;
          case 1:
            datagram.insert(pos, 1, alphabet[random() % alphabet.size()]);
            break;
          case 2:
            if (!datagram.empty()) datagram.erase(pos, 1 + random() % 8);
            break;
          default:
            datagram.append(random() % 40, 'x');
        }
      }
    }
    const auto answer = ParseDiscoveryAnswer(datagram);
    (void)ParseDiscoveryRequest(datagram);
    if (!answer) continue;
    ++parsed;
    // Whatever parses is an address that can be announced, and formats back to the same bytes.
    EXPECT_TRUE(IsAnnounceableAddress(answer->serverAddress)) << datagram;
    EXPECT_LE(answer->serverAddress.size(), kServerNameReadLimit);
    EXPECT_TRUE(ServerAddress::Split(answer->serverAddress));
    EXPECT_EQ(FormatDiscoveryAnswer(answer->nonce, answer->serverAddress), datagram);
  }
  EXPECT_GT(parsed, 100);  // the mutations kept some answers valid
}

TEST(ServerAddressTest, SplitsAndComparesAddressParts) {
  const auto address = ServerAddress::Split("VEMOPRO@127.0.0.1");
  ASSERT_TRUE(address);
  EXPECT_EQ(address->name, "VEMOPRO");
  EXPECT_EQ(address->address, "127.0.0.1");
  EXPECT_FALSE(ServerAddress::Split("Local"));
  EXPECT_FALSE(ServerAddress::Split("@127.0.0.1"));
  EXPECT_FALSE(ServerAddress::Split("VEMOPRO@"));
  EXPECT_EQ(AddressPart("eth0: 192.168.1.5"), "192.168.1.5");
  EXPECT_EQ(AddressPart("local@127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(AddressPart("10.0.0.1"), "10.0.0.1");
}

}  // namespace
}  // namespace kessmar::dbclient
