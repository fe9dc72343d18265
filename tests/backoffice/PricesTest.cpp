// The price module against a real server: the price columns and the price-group switch, the
// discount rules of a price-group pair and of a debtor, currencies, the cache, and the errors
// that end a transfer. Every amount is compared to the 1/10000.
#include <gtest/gtest.h>

#include "backoffice/ConnectToVemoServer.h"
#include "backoffice/TPrices.h"
#include "backoffice/TransferTestData.h"
#include "backoffice/TunDB.h"
#include "support/BackOfficeFixture.h"

namespace kessmar::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class PricesTest : public BackOfficeFixture {
 protected:
  PricesTest() {
    InsertCurrencies(Server());
    Server().Exec(R"SQL(
      INSERT INTO "SYSTEM"."VALU" VALUES ('ZER', 'Zonder eenheid', 1, 0);
      INSERT INTO "SYSTEM"."DEBT" VALUES
        (1001, 'Groepen 1 en 2', '1', '2'), (1003, 'Groepen 2 en 1', '2', '1'),
        (1004, 'Kapotte groep', 'x', '1'), (1006, 'Groepen 2 en 3', '2', '3');)SQL");
    // Column 1 95, 2 98, 3 100, ..., 6 150, 7 0; the price-group switch at 10. Column 7 is 0
    // for the rule articles too.
    InsertArticle(Server(),
                  {1, "12345678", {"95", "98", "100", "80", "70", "150", "0"}, "EUR", 10});
    // Classes 13, 15 and 25, for the pattern !13,1*.
    for (const auto& [nummer, code] : std::vector<std::pair<int, std::string>>{
             {2, "11300001"}, {3, "11500001"}, {4, "12500001"}}) {
      InsertArticle(Server(), {nummer, code, {"10", "10", "10", "10", "10", "10", "0"}});
    }
    InsertArticle(Server(),
                  {5, "45678901", {"7.25", "6.95", "6.5", "6.25", "5.99", "8.77", "5.5"}, "USD"});
    InsertArticle(Server(), {6, "56789012", {"20", "20", "20", "20", "20", "20", "20"}, "XXX"});
    InsertArticle(Server(), {7, "1234567", {"30", "30", "30", "30", "30", "30", "30"}});
    InsertArticle(
        Server(),
        {8, "67890123", {"1.0003", "1.0003", "1.0003", "1.0003", "1.0003", "1.0003", "0"}});
    InsertArticle(Server(), {9, "78901234", {"1", "1", "1", "1", "1", "12345", "1"}, "JPY"});
    InsertArticle(Server(), {10, "89012345", {"5", "5", "5", "5", "5", "5", "5"}, "ZER"});
    db = std::make_unique<TunDB>();
    ConnectToVemoServer(Server().ServerAddress(), db);
  }

  // A fresh module loaded with debtor.
  std::unique_ptr<TPrices> Prices(int64_t debtor) {
    auto prices = std::make_unique<TPrices>(*db, [this] { return now; });
    prices->LoadDebtor(debtor);
    return prices;
  }

  std::string Price(TPrices& prices, int64_t article, int64_t quantity) {
    return prices.GetPrice(article, quantity).ToText();
  }

  std::unique_ptr<TunDB> db;
  TPrices::Clock::time_point now = TPrices::Clock::now();
};

TEST_F(PricesTest, ColumnsPriceGroupSwitchAndCurrencies) {
  // A debtor not in DEBT: column 6, converted by the article's currency; nothing cached.
  auto retail = Prices(9999);
  EXPECT_TRUE(retail->Loaded());
  EXPECT_EQ(retail->DebtorNumber(), 0);
  EXPECT_EQ(retail->PriceGroupPair(), "");
  EXPECT_EQ(Price(*retail, 1, 1), "150.0000");
  EXPECT_EQ(Price(*retail, 5, 1), "8.0684");    // 8.77 USD x 0.92
  EXPECT_EQ(Price(*retail, 9, 1), "123.4500");  // 12345 JPY x 1 / 100
  EXPECT_EQ(Price(*retail, 6, 1), "20.0000");   // a currency VALU does not hold: unconverted
  EXPECT_EQ(Price(*retail, 99, 1), "0.0000");   // not in ARPZ
  EXPECT_TRUE(retail->Cache().empty());

  // Price groups 1 and 2 with the switch at 10: column 1 below it, column 2 from it on. The
  // cache knows the quantity, so the second request is not served the first one's price.
  auto groups12 = Prices(1001);
  EXPECT_EQ(groups12->DebtorNumber(), 1001);
  EXPECT_EQ(groups12->PriceGroupPair(), "12");
  EXPECT_EQ(Price(*groups12, 1, 9), "95.0000");
  EXPECT_EQ(Price(*groups12, 1, 10), "98.0000");
  EXPECT_EQ(Price(*groups12, 1, 9), "95.0000");
  EXPECT_EQ(Price(*groups12, 5, 1), "6.3940");  // no switch quantity: column 2, 6.95 x 0.92
  // With a debtor, a currency VALU does not hold gives 0.
  EXPECT_EQ(Price(*groups12, 6, 1), "0.0000");

  // Pair 21 always takes column 1; pair 23 switches to column 3.
  auto groups21 = Prices(1003);
  EXPECT_EQ(Price(*groups21, 1, 9), "95.0000");
  EXPECT_EQ(Price(*groups21, 1, 10), "95.0000");
  EXPECT_EQ(Price(*groups21, 1, 1000), "95.0000");
  auto groups23 = Prices(1006);
  EXPECT_EQ(Price(*groups23, 1, 9), "98.0000");
  EXPECT_EQ(Price(*groups23, 1, 10), "100.0000");

  // The column helper: 0 is 6, beyond 7 nothing.
  EXPECT_EQ(groups12->PriceColumn(1, 0).ToText(), "150.0000");
  EXPECT_EQ(groups12->PriceColumn(1, 3).ToText(), "100.0000");
  EXPECT_EQ(groups12->PriceColumn(1, 8).ToText(), "0.0000");
  EXPECT_EQ(groups12->PriceColumn(99, 1).ToText(), "0.0000");
}

TEST_F(PricesTest, DiscountRulesOfThePairAndOfTheDebtor) {
  Server().Exec(R"SQL(
    INSERT INTO "SYSTEM"."KOGP" ("kogp_prijsgroepen", "HoofdGroep", "Klasse", "Merk", "Soort",
        "Type", "KOGP_Aantal", "KOGP_PrijsGroep", "KOGP_Korting", "KOGP_Datum") VALUES
      ('12', '*', '*', '*', '*', '*', 5, 3, 10, '2024-01-01'),
      ('12', '*', '*', '*', '*', '*', 1, 7, 50, '2024-01-01'),
      ('34', '*', '*', '*', '*', '*', 1, 1, 90, '2024-01-01');
    INSERT INTO "SYSTEM"."KODB" VALUES
      (1001, 1, '*', '!13,1*', '*', '*', '*', 1, 1, 20, '2024-01-01'),
      (1001, 2, '*', '78', '*', '*', '*', 1, 1, 50, '2024-01-01'),
      (1002, 1, '*', '*', '*', '*', '*', 1, 1, 99, '2024-01-01'))SQL");
  auto prices = Prices(1001);
  ASSERT_EQ(prices->DebtorRules().size(), 2u);  // only this debtor's, in index order
  EXPECT_EQ(prices->DebtorRules()[0].Klasse, "!13,1*");
  ASSERT_EQ(prices->GroupRules().size(), 2u);  // only the pair's
  EXPECT_EQ(prices->GroupRules()[0].PrijsGroep, 3);

  // The pair's rule: 10 % off column 3 (100.0000) gives 90.0000 and replaces the base price
  // 95.0000, but only from its minimum quantity 5 on. The rule on column 7 (0) never replaces
  // a price.
  EXPECT_EQ(Price(*prices, 1, 4), "95.0000");
  EXPECT_EQ(Price(*prices, 1, 5), "90.0000");
  EXPECT_EQ(Price(*prices, 1, 10), "90.0000");  // base 98 (column 2) after the switch
  EXPECT_EQ(prices->GroupDiscountPrice("12", 1, 5).ToText(), "90.0000");
  EXPECT_EQ(prices->GroupDiscountPrice("12", 1, 4).ToText(), "0.0000");
  EXPECT_EQ(prices->GroupDiscountPrice("34", 1, 5).ToText(), "0.0000");

  // The debtor's rule with class pattern !13,1*: not class 13, class 15, not class 25.
  EXPECT_EQ(Price(*prices, 2, 1), "10.0000");
  EXPECT_EQ(Price(*prices, 3, 1), "8.0000");
  EXPECT_EQ(Price(*prices, 4, 1), "10.0000");
  // Both lists: the lowest price wins (pair 10 % off column 3 = 9, debtor 20 % off column 1 = 8).
  EXPECT_EQ(Price(*prices, 3, 5), "8.0000");
  EXPECT_EQ(prices->DebtorDiscountPrice(3, 5).ToText(), "8.0000");
  // Exact: 50 % off 1.0003 is 0.50015, rounded half to even 0.5002.
  EXPECT_EQ(Price(*prices, 8, 1), "0.5002");

  // A code shorter than 8 characters matches no rule, not even one of stars only.
  EXPECT_EQ(Price(*prices, 7, 5), "30.0000");
  EXPECT_FALSE(prices->RuleMatchesArticle(prices->GroupRules()[0]));
  (void)prices->GetPrice(1, 3);
  EXPECT_TRUE(prices->RuleMatchesArticle(prices->GroupRules()[0]));
}

TEST_F(PricesTest, CacheAndTheErrorsThatEndATransfer) {
  auto prices = Prices(1001);
  EXPECT_EQ(Price(*prices, 1, 1), "95.0000");
  Server().Exec(R"(UPDATE "DATA"."ARPZ" SET "ARPZ_Prijs1" = 96 WHERE "ARTK_nummer" = 1)");
  // Within 5 seconds the same article and quantity come from the cache, which then lives on.
  now += seconds(4);
  EXPECT_EQ(Price(*prices, 1, 1), "95.0000");
  now += milliseconds(4900);
  EXPECT_EQ(Price(*prices, 1, 1), "95.0000");
  // Another quantity is priced afresh.
  EXPECT_EQ(Price(*prices, 1, 2), "96.0000");
  EXPECT_EQ(prices->Cache().size(), 2u);
  // 5 seconds after its last use the entry is gone.
  now += seconds(5);
  EXPECT_EQ(Price(*prices, 1, 1), "96.0000");
  EXPECT_EQ(prices->Cache().size(), 1u);  // the stale entry of quantity 2 went on the way

  // A price group that is not a digit, or a currency whose unit is 0, ends the transfer.
  auto broken = Prices(1004);
  EXPECT_THROW(broken->GetPrice(1, 1), PriceError);
  EXPECT_THROW(prices->GetPrice(10, 1), PriceError);

  // Price data that cannot be loaded: an error whose message says so; the module stays
  // unloaded and prices nothing.
  Server().Exec(R"(DROP INDEX "SYSTEM"."KOGP.KOGP_prijsgroepen")");
  prices.reset();
  broken.reset();
  db = std::make_unique<TunDB>();
  ConnectToVemoServer(Server().ServerAddress(), db);
  TPrices unloadable(*db);
  try {
    unloadable.LoadDebtor(1001);
    ADD_FAILURE() << "LoadDebtor did not fail";
  } catch (const PriceError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Unable to load price data : ", 0), 0u) << e.what();
  }
  EXPECT_FALSE(unloadable.Loaded());
  EXPECT_EQ(unloadable.GetPrice(1, 1).ToText(), "0.0000");
}

}  // namespace
}  // namespace kessmar::testing
