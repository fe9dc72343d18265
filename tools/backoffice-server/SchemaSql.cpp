#include "backoffice-server/SchemaSql.h"

namespace kessmar::backoffice_server {

// Names keep the back office's spelling (quoted). Index names carry their table ("artk.X")
// because the server wants them unique per schema; the client shows them without it. Non-unique
// indexes end in the primary key, which keeps every keyed walk an index scan.
const std::string& SchemaScript() {
  static const std::string script = R"SQL(
BEGIN;
CREATE SCHEMA "DATA";
CREATE SCHEMA "SYSTEM";
CREATE SCHEMA "VEMOPRO2FFDATABASE";
COMMENT ON SCHEMA "DATA" IS 'Database alias DATA: articles, package barcodes, prices';
COMMENT ON SCHEMA "SYSTEM" IS 'Database alias SYSTEM: orders, counters, relations, debtors, discounts, currencies';
COMMENT ON SCHEMA "VEMOPRO2FFDATABASE" IS 'Database alias that marks a Vemo back-office server';

CREATE TABLE "DATA"."artk" (
  "ARTK_nummer" integer NOT NULL,
  "ARTK_fullcod" varchar(14) NOT NULL,
  "ARTK_Merk" varchar(20),
  "ARTK_Filteromschrijving" varchar(30),
  "ARTK_kenmerk" varchar(30),
  "ARTK_typen" varchar(30),
  "ARTK_omschrijving" varchar(60),
  CONSTRAINT "artk.ARTK_nummer" PRIMARY KEY ("ARTK_nummer")
);
CREATE UNIQUE INDEX "artk.ARTK_fullcod" ON "DATA"."artk" ("ARTK_fullcod");

CREATE TABLE "DATA"."arvp" (
  "ARVP_BARCODE" varchar(26) NOT NULL,
  "ARTK_nummer" integer NOT NULL,
  "ARVP_aantal" integer NOT NULL DEFAULT 1,
  CONSTRAINT "arvp.ARVP_BARCODE" PRIMARY KEY ("ARVP_BARCODE")
);
CREATE INDEX "arvp.ARTK_nummer" ON "DATA"."arvp" ("ARTK_nummer", "ARVP_BARCODE");

CREATE TABLE "DATA"."ARPZ" (
  "ARTK_nummer" integer NOT NULL,
  "ARTK_fullcod" varchar(12) NOT NULL,
  "ARPZ_Prijs1" numeric(19,4) NOT NULL DEFAULT 0,
  "ARPZ_Prijs2" numeric(19,4) NOT NULL DEFAULT 0,
  "ARPZ_Prijs3" numeric(19,4) NOT NULL DEFAULT 0,
  "ARPZ_Prijs4" numeric(19,4) NOT NULL DEFAULT 0,
  "ARPZ_Prijs5" numeric(19,4) NOT NULL DEFAULT 0,
  "ARPZ_Prijs6" numeric(19,4) NOT NULL DEFAULT 0,
  "ARPZ_Prijs7" numeric(19,4) NOT NULL DEFAULT 0,
  "VALU_code" varchar(3) NOT NULL DEFAULT 'EUR',
  "ARTK_prijsgrwissel" integer NOT NULL DEFAULT 0,
  CONSTRAINT "ARPZ.ARTK_nummer" PRIMARY KEY ("ARTK_nummer")
);

CREATE TABLE "DATA"."ONAD" (
  "ONAD_nummer" integer NOT NULL,
  "ONAD_naam" varchar(60),
  CONSTRAINT "ONAD.ONAD_nummer" PRIMARY KEY ("ONAD_nummer")
);

CREATE TABLE "SYSTEM"."BEST" (
  "BEST_nummer" integer NOT NULL,
  "BEST_uniqueidentifier" varchar(20),
  "BEST_datum" timestamp,
  "BEST_type" integer NOT NULL DEFAULT 1,
  "BEST_verstuurd" integer NOT NULL DEFAULT 1,
  "RLTI_nummer" integer NOT NULL DEFAULT 1,
  "ORDR_totaal" numeric(19,4) NOT NULL DEFAULT 0,
  CONSTRAINT "BEST.BEST_nummer" PRIMARY KEY ("BEST_nummer")
);
CREATE INDEX "BEST.BEST_type_verstuurd" ON "SYSTEM"."BEST" ("BEST_type", "BEST_verstuurd", "BEST_nummer");

CREATE TABLE "SYSTEM"."BERG" (
  "BERG_nummer" integer GENERATED ALWAYS AS IDENTITY,
  "BEST_nummer" integer NOT NULL,
  "ARTK_nummer" integer NOT NULL DEFAULT 0,
  "ARTK_fullcod" varchar(20),
  "BERG_Omschrijving" varchar(80),
  "BERG_merk" varchar(20),
  "BEST_aantal" integer NOT NULL DEFAULT 0,
  "BEST_prijs" numeric(19,4) NOT NULL DEFAULT 0,
  "BERG_totaal" numeric(19,4) NOT NULL DEFAULT 0,
  "ONDR_nummer" integer NOT NULL DEFAULT 0,
  "SPEC_nummer" integer NOT NULL DEFAULT 0,
  "BERG_uwnummer" varchar(6),
  CONSTRAINT "BERG.BERG_nummer" PRIMARY KEY ("BERG_nummer")
);
CREATE INDEX "BERG.BEST_nummer" ON "SYSTEM"."BERG" ("BEST_nummer", "BERG_nummer");

CREATE TABLE "SYSTEM"."SYSC" (
  "SYSC_naam" varchar(20) NOT NULL,
  "SYSC_volgnum" integer,
  CONSTRAINT "SYSC.SYSC_naam" PRIMARY KEY ("SYSC_naam")
);

CREATE TABLE "SYSTEM"."SYSI" (
  "SYSI_nummer" integer NOT NULL,
  "SYSI_naam" varchar(40),
  "SYSI_versie" varchar(20),
  CONSTRAINT "SYSI.SYSI_nummer" PRIMARY KEY ("SYSI_nummer")
);

CREATE TABLE "SYSTEM"."RLTI" (
  "RLTI_nummer" integer NOT NULL,
  "RLTI_naam" varchar(60),
  "RLTI_debtnummer" varchar(10),
  CONSTRAINT "RLTI.idxRLTI_nummer" PRIMARY KEY ("RLTI_nummer")
);

CREATE TABLE "SYSTEM"."DEBT" (
  "DEBT_debtnr" integer NOT NULL,
  "DEBT_naam" varchar(60),
  "Debt_prijs1" varchar(1),
  "Debt_prijs2" varchar(1),
  CONSTRAINT "DEBT.DEBT_debtnr" PRIMARY KEY ("DEBT_debtnr")
);

CREATE TABLE "SYSTEM"."KODB" (
  "KODB_debtnr" integer NOT NULL,
  "KODB_volgnr" integer NOT NULL,
  "HoofdGroep" varchar(20),
  "Klasse" varchar(20),
  "Merk" varchar(20),
  "Soort" varchar(20),
  "Type" varchar(20),
  "KODB_Aantal" integer NOT NULL DEFAULT 0,
  "KODB_PrijsGroep" integer NOT NULL DEFAULT 0,
  "KODB_Korting" double precision NOT NULL DEFAULT 0,
  "KODB_Datum" date,
  CONSTRAINT "KODB.KODB_debtnr_volgnr" PRIMARY KEY ("KODB_debtnr", "KODB_volgnr")
);

CREATE TABLE "SYSTEM"."KOGP" (
  "KOGP_nummer" integer GENERATED ALWAYS AS IDENTITY,
  "kogp_prijsgroepen" varchar(2) NOT NULL,
  "HoofdGroep" varchar(20),
  "Klasse" varchar(20),
  "Merk" varchar(20),
  "Soort" varchar(20),
  "Type" varchar(20),
  "KOGP_Aantal" integer NOT NULL DEFAULT 0,
  "KOGP_PrijsGroep" integer NOT NULL DEFAULT 0,
  "KOGP_Korting" double precision NOT NULL DEFAULT 0,
  "KOGP_Datum" date,
  CONSTRAINT "KOGP.KOGP_nummer" PRIMARY KEY ("KOGP_nummer")
);
CREATE INDEX "KOGP.KOGP_prijsgroepen" ON "SYSTEM"."KOGP" ("kogp_prijsgroepen", "KOGP_nummer");

CREATE TABLE "SYSTEM"."VALU" (
  "VALU_code" varchar(3) NOT NULL,
  "VALU_omschrijving" varchar(30),
  "valu_waarde" double precision NOT NULL DEFAULT 1,
  "valu_eenheid" double precision NOT NULL DEFAULT 1,
  CONSTRAINT "VALU.VALU_code" PRIMARY KEY ("VALU_code")
);

CREATE TABLE "SYSTEM"."CONS" (
  "CONS_nummer" integer NOT NULL,
  "CONS_naam" varchar(40),
  "CONS_waarde" varchar(80),
  CONSTRAINT "CONS.CONS_nummer" PRIMARY KEY ("CONS_nummer")
);
COMMIT;
)SQL";
  return script;
}

std::string DemoScript(int articles) {
  std::string script = R"SQL(
BEGIN;
INSERT INTO "SYSTEM"."SYSI" VALUES (1, 'Vemo back office (demo)', '2.0');
INSERT INTO "SYSTEM"."CONS" VALUES (1, 'BTW hoog', '21'), (2, 'BTW laag', '9');
INSERT INTO "DATA"."ONAD" VALUES (1, 'Eigen werkplaats');
INSERT INTO "SYSTEM"."VALU" VALUES
  ('EUR', 'Euro', 1, 1),
  ('USD', 'Amerikaanse dollar', 0.92, 1);
INSERT INTO "SYSTEM"."RLTI" VALUES
  (1, 'Kessmar B.V.', ''),
  (2, 'Bouwbedrijf De Vries', '1001');
INSERT INTO "SYSTEM"."DEBT" VALUES
  (1001, 'Bouwbedrijf De Vries', '1', '2'),
  (1002, 'Installatiebedrijf Jansen', '3', '4');
INSERT INTO "SYSTEM"."KODB" ("KODB_debtnr", "KODB_volgnr", "HoofdGroep", "Klasse", "Merk", "Soort", "Type",
    "KODB_Aantal", "KODB_PrijsGroep", "KODB_Korting", "KODB_Datum") VALUES
  (1001, 1, '1', '*', '*', '*', '*', 1, 3, 10, '2024-01-01'),
  (1001, 2, '2', '!13,1*', '*', '*', '*', 5, 2, 5, '2024-01-01'),
  (1002, 1, '*', '*', '*', '*', '*', 1, 4, 2.5, '2024-01-01');
INSERT INTO "SYSTEM"."KOGP" ("kogp_prijsgroepen", "HoofdGroep", "Klasse", "Merk", "Soort", "Type",
    "KOGP_Aantal", "KOGP_PrijsGroep", "KOGP_Korting", "KOGP_Datum") VALUES
  ('12', '3', '*', '*', '*', '*', 1, 3, 7.5, '2024-01-01'),
  ('12', '*', '*', '*', '*', '*', 10, 2, 2.5, '2024-01-01'),
  ('34', '4*', '*', '*', '*', '*', 1, 5, 4, '2024-01-01');

-- Articles the demo scans resolve to.
INSERT INTO "DATA"."artk" VALUES
  (1, '12345678', 'Bosch', 'Boormachine', '18V', 'GSB 18V-55', 'Klopboormachine accu'),
  (2, '23456789', 'Makita', 'Schroefmachine', '18V', '', 'Slagschroevendraaier'),
  (3, '34567890', 'Festool', '', 'Koffer', 'Systainer T-LOC', 'Opbergkoffer'),
  (4, '45678901', 'Hilti', 'Boor', 'SDS-plus', 'TE-CX 8/17', 'Hamerboor 8 mm'),
  (5, '87654321', 'Metabo', 'Slijper', '125 mm', 'W 9-125', 'Haakse slijper');
INSERT INTO "DATA"."arvp" VALUES
  ('8712345678906', 1, 6),
  ('4006381333931', 2, 12),
  ('9780201379624', 4, 1),
  ('8710000000017', 3, 2);
INSERT INTO "DATA"."ARPZ" VALUES
  (1, '12345678', 129.9500, 119.9500, 109.9500, 104.5000, 99.9500, 157.2400, 94.9500, 'EUR', 10),
  (2, '23456789', 189.0000, 179.0000, 169.0000, 159.0000, 149.0000, 228.6900, 139.0000, 'EUR', 0),
  (3, '34567890', 39.9500, 37.9500, 35.9500, 33.9500, 31.9500, 48.3400, 29.9500, 'EUR', 0),
  (4, '45678901', 7.2500, 6.9500, 6.5000, 6.2500, 5.9900, 8.7700, 5.5000, 'USD', 25),
  (5, '87654321', 89.0000, 84.5000, 79.9500, 76.0000, 72.5000, 107.6900, 69.0000, 'EUR', 0);
)SQL";
  // Generated articles: numbers from 101, 8-digit codes (main group 1-9 first, then a unique
  // remainder), prices from a base price, a package barcode (EAN-13) for every third article.
  const std::string n = std::to_string(articles);
  script += R"SQL(
INSERT INTO "DATA"."artk"
SELECT 100 + i,
       ((1 + i % 9) * 10000000 + (i * 7919) % 10000000)::text,
       (ARRAY['Bosch','Makita','Festool','Hilti','Metabo','DeWalt','Fein','Milwaukee'])[1 + i % 8],
       (ARRAY['Boormachine','Schroefmachine','Zaag','Slijper','Frees','Accu','Lader',''])[1 + (i / 8) % 8],
       (ARRAY['18V','230V','Koffer','Set','Compact','Pro','',''])[1 + (i / 64) % 8],
       CASE WHEN i % 5 = 0 THEN '' ELSE 'T-' || (1000 + i % 9000)::text END,
       'Artikel ' || i
FROM generate_series(1, )SQL" +
            n + R"SQL() AS i
WHERE NOT EXISTS (SELECT 1 FROM "DATA"."artk" f
                  WHERE f."ARTK_fullcod" = ((1 + i % 9) * 10000000 + (i * 7919) % 10000000)::text);
INSERT INTO "DATA"."ARPZ"
SELECT a."ARTK_nummer", a."ARTK_fullcod",
       round(b.base, 4), round(b.base * 0.95, 4), round(b.base * 0.90, 4), round(b.base * 0.85, 4),
       round(b.base * 0.80, 4), round(b.base * 1.21, 4), round(b.base * 0.75, 4),
       CASE WHEN a."ARTK_nummer" % 10 = 0 THEN 'USD' ELSE 'EUR' END,
       CASE WHEN a."ARTK_nummer" % 4 = 0 THEN 10 ELSE 0 END
FROM "DATA"."artk" a
CROSS JOIN LATERAL (SELECT (5 + (a."ARTK_nummer" * 37) % 500 + (a."ARTK_nummer" % 100) / 100.0)::numeric AS base) b
WHERE a."ARTK_nummer" > 100;
INSERT INTO "DATA"."arvp"
SELECT d.code || ((10 - (SELECT sum(substr(d.code, k, 1)::int * CASE WHEN k % 2 = 1 THEN 1 ELSE 3 END)
                          FROM generate_series(1, 12) AS k) % 10) % 10)::text,
       d.nummer,
       (ARRAY[1, 6, 12, 24])[1 + (d.nummer / 3) % 4]
FROM (SELECT "ARTK_nummer" AS nummer, '871' || lpad("ARTK_nummer"::text, 9, '0') AS code
      FROM "DATA"."artk" WHERE "ARTK_nummer" > 100 AND "ARTK_nummer" % 3 = 0) AS d;
COMMIT;
ANALYZE;
)SQL";
  return script;
}

}  // namespace kessmar::backoffice_server
