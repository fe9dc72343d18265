// backoffice-server as a program: its help, its refusals, and the demo catalogue it loads.
#include <gtest/gtest.h>

#include "support/BackOfficeServer.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace kessmar::testing {
namespace {

std::pair<int, std::string> Tool(std::vector<std::string> args) {
  args.insert(args.begin(), KESSMAR_BACKOFFICE_SERVER);
  return RunCommand(args);
}

TEST(BackofficeServerToolTest, HelpAndRefusals) {
  const auto [helpCode, help] = Tool({"--help"});
  EXPECT_EQ(helpCode, 0);
  for (const char* word : {"setup DIR", "init DIR", "start DIR", "stop DIR", "schema", "--demo",
                           "announce", "runuser", "KESSMAR_SERVER_REGISTRY", "upgrade [DIR]",
                           "role [DIR] --user NAME", "--listen 192.168.1.10"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(Tool({"frobnicate"}).first, 2);
  EXPECT_EQ(Tool({"start"}).first, 2);                          // no folder
  EXPECT_EQ(Tool({"init", "/tmp/x", "--port", "1"}).first, 2);  // not an init option
  EXPECT_EQ(Tool({"announce", "--name", "VEMOPRO"}).first, 2);  // no address
  // A --trust value goes into pg_hba.conf: only a network, never a line of its own.
  for (const char* bad : {"192.168.1.0", "192.168.1.0/33", "all", "::1/129",
                          "10.0.0.0/8\nhost all all 0.0.0.0/0 trust"}) {
    const auto [trustCode, trust] = Tool({"init", "/tmp/x", "--trust", bad});
    EXPECT_EQ(trustCode, 2) << bad;
    EXPECT_NE(trust.find("is not a network"), std::string::npos) << trust;
  }
  EXPECT_EQ(Tool({"role", "/tmp/x"}).first, 2);  // no --user
  const auto [portCode, port] = Tool({"start", "/tmp/x", "--port", "70000"});
  EXPECT_EQ(portCode, 2);
  EXPECT_NE(port.find("70000"), std::string::npos) << port;
  TempDir empty;
  const auto [startCode, start] = Tool({"start", empty.Path().string()});
  EXPECT_EQ(startCode, 1);
  EXPECT_NE(start.find("no database cluster"), std::string::npos) << start;
  // Without a cluster folder the tool never falls back to a default (system) server.
  ScopedEnvironment noHost{{"PGHOST", std::nullopt}};
  const auto [schemaCode, schema] = Tool({"schema"});
  EXPECT_EQ(schemaCode, 1);
  EXPECT_NE(schema.find("PGHOST"), std::string::npos) << schema;
}

TEST(BackofficeServerToolTest, DemoCatalogueAndSecondSchemaRefused) {
  BackOfficeServerOptions options;
  options.demo = true;
  options.articles = 300;
  options.listen = "127.0.0.3";
  BackOfficeServer server(options);
  server.UseDatabase(server.CreateDatabase());
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT count(*) FROM "DATA"."artk")SQL"), "305");
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT count(*) FROM "DATA"."artk"
                                    WHERE "ARTK_fullcod" !~ '^[1-9][0-9]{7}$')SQL"),
            "0");
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT count(*) FROM "DATA"."ARPZ" WHERE "ARPZ_Prijs7" > 0
                                    AND "ARPZ_Prijs1" > "ARPZ_Prijs7")SQL"),
            "305");
  // Package barcodes are EAN-13 with a valid check digit.
  EXPECT_EQ(server.QueryValue(R"SQL(
      SELECT count(*) FROM "DATA"."arvp" a WHERE length(a."ARVP_BARCODE") <> 13 OR
        (SELECT sum(substr(a."ARVP_BARCODE", k, 1)::int * CASE WHEN k % 2 = 1 THEN 1 ELSE 3 END)
         FROM generate_series(1, 13) AS k) % 10 <> 0)SQL"),
            "0");
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT "ARVP_aantal" || ' x ' || "ARTK_nummer" FROM
                                    "DATA"."arvp" WHERE "ARVP_BARCODE" = '8712345678906')SQL"),
            "6 x 1");
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT "RLTI_debtnummer" FROM "SYSTEM"."RLTI"
                                    WHERE "RLTI_nummer" = 2)SQL"),
            "1001");
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT count(*) FROM "SYSTEM"."VALU")SQL"), "2");
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT count(*) FROM "SYSTEM"."KODB"
                                    WHERE "KODB_debtnr" = 1001)SQL"),
            "2");
  EXPECT_EQ(server.QueryValue(R"SQL(SELECT count(*) FROM "SYSTEM"."KOGP"
                                    WHERE "kogp_prijsgroepen" = '12')SQL"),
            "2");
  const auto [code, output] =
      Tool({"schema", server.Folder().string(), "--database", server.Database()});
  EXPECT_EQ(code, 1);
  EXPECT_NE(output.find("already holds the back-office schema"), std::string::npos) << output;
}

}  // namespace
}  // namespace kessmar::testing
