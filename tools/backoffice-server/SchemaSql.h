// The back office's database: its schemas (the database aliases), tables, fields and indexes,
// and the demo catalogue. docs/backoffice.md describes both.
#pragma once

#include <optional>
#include <string>

namespace kessmar::backoffice_server {

// The statements that create every schema, table and index, in one transaction.
const std::string& SchemaScript();

// The table of ours that records the batches the scanner tool handed on (CREATE ... IF NOT
// EXISTS), part of SchemaScript.
const std::string& RecordTableScript();

// Brings a schema made by an older backoffice-server up to date, in one transaction: creates the
// record table when missing and lets every role that may insert order lines (BERG) read and
// insert records.
std::string UpgradeScript();

// Creates (or updates) the scanner tool's login role with only what a transfer needs: read
// every table of DATA and SYSTEM, insert and update order headers (which also allows their
// lock), lines and the counter, insert records. Not a superuser; no other rights. The role and
// database come quoted (QuoteIdentifier), the password as a literal (QuoteLiteral), if any.
std::string ToolRoleScript(const std::string& quotedRole, const std::string& quotedDatabase,
                           const std::optional<std::string>& passwordLiteral);

// text as an SQL string literal (standard_conforming_strings on, the server's default).
std::string QuoteLiteral(const std::string& text);
// The name inside a quoted identifier.
std::string Unquoted(const std::string& quotedIdentifier);

// The statements that fill an empty schema with the demo data: the fixed demo records and
// `articles` generated articles (at least 0) with prices and package barcodes.
std::string DemoScript(int articles);

}  // namespace kessmar::backoffice_server
