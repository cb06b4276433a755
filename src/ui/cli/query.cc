// mirutone query FILE NAME: runs a stored query (or reads a table) and prints its rows.
#include <algorithm>
#include <iostream>
#include <sstream>

#include "db/engine.h"
#include "db/errors.h"
#include "db/jet/api/names.h"
#include "db/jet/api/sort_keys.h"
#include "db/value_conversion.h"
#include "i18n/messages.h"
#include "ui/cli/commands.h"
#include "ui/cli/json.h"

namespace mirutone::cli {
namespace {

struct QueryArgs {
  std::string file;
  std::string name;
  std::vector<std::string> params;
  bool json = false;
};

struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<jet::Value>> rows;
};

// Columns a character takes on a terminal: two for the wide East Asian ranges.
std::size_t display_width(const std::string& s) {
  std::size_t w = 0;
  std::vector<char32_t> cps;
  try {
    cps = jet::decode_utf8(s);
  } catch (const jet::Error&) {
    return s.size();
  }
  for (char32_t c : cps) {
    bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    w += wide ? 2 : 1;
  }
  return w;
}

std::string cell(const jet::Value& v) { return jet::is_null(v) ? "(null)" : db::vb_text(v); }

void write_text(const Table& t, std::ostream& out) {
  std::vector<std::size_t> widths;
  for (const auto& c : t.columns) widths.push_back(display_width(c));
  std::vector<std::vector<std::string>> cells;
  for (const auto& r : t.rows) {
    std::vector<std::string> line;
    for (std::size_t i = 0; i < r.size(); ++i) {
      line.push_back(cell(r[i]));
      widths[i] = std::max(widths[i], display_width(line.back()));
    }
    cells.push_back(std::move(line));
  }
  auto write_line = [&](const std::vector<std::string>& line) {
    std::string s;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (i > 0) s += "  ";
      s += line[i];
      if (i + 1 < line.size()) s.append(widths[i] - display_width(line[i]), ' ');
    }
    out << s << '\n';
  };
  write_line(t.columns);
  std::vector<std::string> rule;
  for (std::size_t w : widths) rule.push_back(std::string(w, '-'));
  write_line(rule);
  for (const auto& line : cells) write_line(line);
  out << "(" << t.rows.size() << (t.rows.size() == 1 ? " row)" : " rows)") << '\n';
}

void write_json(const Table& t, std::ostream& out) {
  JsonWriter w(out);
  w.begin_object();
  w.key("columns");
  w.begin_array();
  for (const auto& c : t.columns) w.string(c);
  w.end_array();
  w.key("rows");
  w.begin_array();
  for (const auto& r : t.rows) {
    w.begin_array();
    for (const auto& v : r) w.value(v);
    w.end_array();
  }
  w.end_array();
  w.end_object();
  out << '\n';
}

Table run(const QueryArgs& a) {
  db::Database database = db::DBEngine::Workspaces(0).OpenDatabase(a.file);
  db::Recordset rs;
  bool stored = false;
  for (int i = 0; i < database.QueryDefs().Count(); ++i) {
    if (jet::names_equal(database.QueryDefs()[i].Name, a.name)) stored = true;
  }
  if (stored) {
    db::QueryDef q = database.QueryDefs()(a.name);
    for (const auto& p : a.params) {
      std::size_t eq = p.find('=');
      if (eq == std::string::npos || eq == 0) {
        throw db::Error(db::jet_errors::kInvalidArgument, "--param wants NAME=VALUE, not '" + p + "'");
      }
      q.SetParameter(p.substr(0, eq), jet::Value(p.substr(eq + 1)));
    }
    rs = q.OpenRecordset();
  } else {
    if (!a.params.empty()) {
      throw db::Error(db::jet_errors::kInvalidArgument, "'" + a.name + "' is not a stored query and takes no parameters");
    }
    rs = database.OpenRecordset(a.name, db::dbOpenSnapshot);
  }
  Table t;
  for (int i = 0; i < rs.FieldCount(); ++i) t.columns.push_back(rs.Fields(i).Name());
  for (; !rs.Eof(); rs.MoveNext()) {
    std::vector<jet::Value> row;
    for (int i = 0; i < rs.FieldCount(); ++i) row.push_back(rs.Fields(i).Value());
    t.rows.push_back(std::move(row));
  }
  return t;
}

}  // namespace

void register_query(CLI::App& app, int& status) {
  auto args = std::make_shared<QueryArgs>();
  auto* cmd = app.add_subcommand(
      "query",
      i18n::tr("Run a stored query of a Jet database and print its rows. NAME may also be a table or "
               "\"SELECT * FROM table [ORDER BY ...]\".\n"
               "Text output: one aligned line per row under a header, (null) for Null, then the row count.\n"
               "JSON output: {\"columns\":[names...],\"rows\":[[values...],...]} with values as in inspect "
               "--json.\n"
               "Exit status 0 on success, 1 when the query cannot run (the message names Jet's error number)."));
  cmd->add_option("FILE", args->file, i18n::tr("A Jet 3 or Jet 4 .mdb file (opened for reading only)"))->required();
  cmd->add_option("NAME", args->name, i18n::tr("The stored query (or table) to run"))->required();
  cmd->add_option("--param", args->params, i18n::tr("A parameter value, NAME=VALUE; repeat for more (e.g. --param Set_Date=3)"));
  cmd->add_flag("--json", args->json, i18n::tr("One JSON document on stdout"));
  cmd->callback([args, &status] {
    try {
      Table t = run(*args);
      std::ostringstream out;
      if (args->json) {
        write_json(t, out);
      } else {
        write_text(t, out);
      }
      std::cout << out.str();
      std::cout.flush();
      status = 0;
    } catch (const jet::Error& e) {
      std::cerr << "mirutone query: error " << e.jet_code() << ": " << e.what() << '\n';
      status = 1;
    } catch (const std::exception& e) {
      std::cerr << "mirutone query: " << e.what() << '\n';
      status = 1;
    }
  });
}

}  // namespace mirutone::cli
