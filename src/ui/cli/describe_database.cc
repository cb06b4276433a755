// mirutone inspect FILE: what a Jet database holds, for people or for programs.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "db/jet/api/reader.h"
#include "i18n/messages.h"
#include "ui/cli/commands.h"
#include "ui/cli/json.h"

namespace mirutone::cli {
namespace {

struct InspectArgs {
  std::string file;
  std::string table;
  bool json = false;
  bool system = false;
  int codepage = 0;
};

std::string format_name(jet::Format f) { return f == jet::Format::Jet3 ? "jet3" : "jet4"; }

std::string hex4(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", v);
  return buf;
}

std::vector<std::string> selected_tables(const jet::Reader& db, const InspectArgs& a) {
  if (!a.table.empty()) {
    db.table(a.table);  // throws "no such table" with the name
    return {a.table};
  }
  return db.table_names(a.system);
}

void write_json(const jet::Reader& db, const InspectArgs& a, std::ostream& out) {
  JsonWriter w(out);
  w.begin_object();
  w.key("format");
  w.string(format_name(db.format()));
  w.key("codepage");
  w.number(static_cast<long long>(db.codepage()));
  w.key("sort_order");
  w.number(static_cast<long long>(db.sort_order()));
  w.key("tables");
  w.begin_array();
  std::vector<jet::Value> row;
  for (const auto& name : selected_tables(db, a)) {
    const auto& t = db.table(name);
    // row_count is the number of rows actually read, and it comes before
    // the rows: count them in a first pass, so that the rows themselves can
    // go out as they are read rather than be held whole.
    long long count = 0;
    for (auto cur = db.rows(name); cur->next(row);) ++count;
    w.begin_object();
    w.key("name");
    w.string(t.name);
    w.key("row_count");
    w.number(count);
    w.key("columns");
    w.begin_array();
    for (const auto& c : t.columns) {
      w.begin_object();
      w.key("name");
      w.string(c.name);
      w.key("type");
      w.string(jet::type_name(c.type));
      w.key("size");
      w.number(static_cast<long long>(c.size));
      w.key("nullable");
      w.boolean(c.nullable);
      w.key("autonumber");
      w.boolean(c.autonumber);
      w.key("allow_zero_length");
      w.boolean(c.allow_zero_length);
      w.end_object();
    }
    w.end_array();
    w.key("indexes");
    w.begin_array();
    for (const auto& ix : t.indexes) {
      w.begin_object();
      w.key("name");
      w.string(ix.name);
      w.key("columns");
      w.begin_array();
      for (const auto& c : ix.columns) w.string(c);
      w.end_array();
      w.key("primary");
      w.boolean(ix.primary);
      w.key("unique");
      w.boolean(ix.unique);
      w.end_object();
    }
    w.end_array();
    w.key("rows");
    w.begin_array();
    long long written = 0;
    for (auto cur = db.rows(name); cur->next(row); ++written) {
      w.begin_array();
      for (const auto& v : row) w.value(v);
      w.end_array();
    }
    w.end_array();
    if (written != count) {
      throw std::runtime_error("table '" + t.name + "' gave " + std::to_string(written) + " rows on the second read, " +
                               std::to_string(count) + " on the first");
    }
    w.end_object();
  }
  w.end_array();
  w.key("queries");
  w.begin_array();
  for (const auto& q : db.queries()) {
    w.begin_object();
    w.key("name");
    w.string(q.name);
    w.key("sql");
    if (q.sql) {
      w.string(*q.sql);
    } else {
      w.null();
    }
    w.end_object();
  }
  w.end_array();
  w.end_object();
  out << '\n';
}

void write_text(const jet::Reader& db, const InspectArgs& a, std::ostream& out) {
  out << "File:       " << db.path() << '\n';
  out << "Format:     " << (db.format() == jet::Format::Jet3 ? "Jet 3 (Access 97)" : "Jet 4 (Access 2000-2003)")
      << (db.encoded() ? ", RC4-encoded" : "") << '\n';
  out << "Code page:  " << db.codepage();
  if (db.header_codepage() != db.codepage()) out << " (header says " << db.header_codepage() << ")";
  out << '\n';
  out << "Sort order: " << hex4(db.sort_order()) << '\n';
  std::vector<jet::Value> row;
  for (const auto& name : selected_tables(db, a)) {
    const auto& t = db.table(name);
    long long count = 0;
    auto cur = db.rows(name);
    while (cur->next(row)) ++count;
    out << "\nTable " << t.name << ": " << count << (count == 1 ? " row" : " rows");
    if (t.stored_row_count != count) out << " (table definition says " << t.stored_row_count << ")";
    out << '\n';
    for (const auto& c : t.columns) {
      out << "  " << c.name << "  " << jet::type_name(c.type);
      if (c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Binary) out << '(' << c.size << ')';
      if (c.type == jet::ColumnType::Decimal) out << '(' << c.precision << ',' << c.scale << ')';
      if (c.autonumber) out << "  autonumber";
      if (!c.nullable) out << "  required";
      if (c.allow_zero_length) out << "  zero-length allowed";
      out << '\n';
    }
    for (const auto& ix : t.indexes) {
      out << "  index " << ix.name << " (";
      for (size_t i = 0; i < ix.columns.size(); ++i) {
        if (i) out << ", ";
        out << ix.columns[i];
        if (i < ix.ascending.size() && !ix.ascending[i]) out << " DESC";
      }
      out << ')';
      if (ix.primary) out << " primary";
      else if (ix.unique) out << " unique";
      if (ix.foreign_key) out << " foreign key";
      out << '\n';
    }
  }
  auto queries = db.queries();
  if (!queries.empty()) {
    out << "\nQueries:\n";
    for (const auto& q : queries) {
      out << "  " << q.name << '\n';
      if (q.sql) {
        // Continuation lines of a multi-line text are indented like the first.
        std::string text = *q.sql;
        std::string indented = "    ";
        for (size_t i = 0; i < text.size(); ++i) {
          if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
          indented += text[i];
          if (text[i] == '\n') indented += "    ";
        }
        out << indented << '\n';
      }
    }
  }
}

}  // namespace

void register_inspect(CLI::App& app, int& status) {
  auto args = std::make_shared<InspectArgs>();
  auto* cmd = app.add_subcommand("inspect", i18n::tr("Show the tables, columns, indexes and queries of a Jet database"));
  cmd->add_option("FILE", args->file, i18n::tr("A Jet 3 or Jet 4 .mdb file"))->required();
  cmd->add_option("--table", args->table, i18n::tr("Only this table"));
  cmd->add_flag("--json", args->json, i18n::tr("One JSON document on stdout, rows included"));
  cmd->add_flag("--system", args->system, i18n::tr("Include the system tables (MSys*)"));
  cmd->add_option("--codepage", args->codepage,
                  i18n::tr("Decode Jet 3 text in this code page instead of the one the header names (e.g. 932, 936)"));
  cmd->callback([args, &status] {
    try {
      jet::ReadOptions opts;
      opts.codepage_override = args->codepage;
      auto db = jet::Reader::open(args->file, opts);
      if (args->json) {
        write_json(*db, *args, std::cout);
      } else {
        write_text(*db, *args, std::cout);
      }
      std::cout.flush();
      status = 0;
    } catch (const std::exception& e) {
      std::cerr << "mirutone inspect: " << e.what() << '\n';
      status = 1;
    }
  });
}

}  // namespace mirutone::cli
