// The back office's database: its schemas (the database aliases), tables, fields and indexes,
// and the demo catalogue. docs/backoffice.md describes both.
#pragma once

#include <string>

namespace kessmar::backoffice_server {

// The statements that create every schema, table and index, in one transaction.
const std::string& SchemaScript();

// The statements that fill an empty schema with the demo data: the fixed demo records and
// `articles` generated articles (at least 0) with prices and package barcodes.
std::string DemoScript(int articles);

}  // namespace kessmar::backoffice_server
