// mirutone copy SOURCE DEST: every user table of a Jet 3 or Jet 4 database
// into a new Jet 3 database.
#include <iostream>
#include <memory>

#include "apps/copy_database.h"
#include "i18n/messages.h"
#include "ui/cli/commands.h"

namespace mirutone::cli {
namespace {

struct CopyArgs {
  std::string source;
  std::string dest;
  std::string locale = "ja";
  int codepage = 0;
};

}  // namespace

void register_copy(CLI::App& app, int& status) {
  auto args = std::make_shared<CopyArgs>();
  auto* cmd = app.add_subcommand(
      "copy",
      i18n::tr("Copy every user table (columns, indexes, rows) of a Jet 3 or Jet 4 database into a new Jet 3 "
               "database.\n"
               "Types Jet 3 lacks: Decimal(p,s) becomes Currency when s <= 4 and p - s <= 14 (exact), otherwise "
               "Text(p+3) holding the exact decimal string. Jet 4 text sizes become the same number of "
               "characters. A Replication ID (GUID autonumber) keeps its values as a plain GUID column; indexes "
               "that only back a relationship are not copied. A value the new database's code page cannot hold "
               "ends the copy with an error naming the table, row and column, and no destination file is left "
               "behind."));
  cmd->add_option("SOURCE", args->source, i18n::tr("A Jet 3 or Jet 4 .mdb file (only read)"))->required();
  cmd->add_option("DEST", args->dest, i18n::tr("The new Jet 3 .mdb file (must not exist)"))->required();
  cmd->add_option("--locale", args->locale,
                  i18n::tr("ja: Japanese sort order 0x0411, code page 932 (default); general: 0x0409, code page 1252"))
      ->check(CLI::IsMember({"ja", "general"}));
  cmd->add_option("--codepage", args->codepage,
                  i18n::tr("Decode Jet 3 source text in this code page instead of the one the header names (e.g. 932, 936)"));
  add_sort_keys_option(cmd);
  cmd->callback([args, &status] {
    try {
      jet::CopyOptions opts;
      opts.locale = args->locale == "general" ? jet::Locale::general() : jet::Locale::japanese();
      opts.source_codepage = args->codepage;
      auto report = jet::copy_database(args->source, args->dest, opts);
      for (const auto& t : report.tables) {
        std::cout << t.name << ": " << t.rows << (t.rows == 1 ? " row" : " rows");
        for (std::size_t i = 0; i < t.notes.size(); ++i) std::cout << (i ? "; " : " (") << t.notes[i];
        std::cout << (t.notes.empty() ? "" : ")") << '\n';
      }
      std::cout.flush();
      status = 0;
    } catch (const jet::Error& e) {
      std::cerr << "mirutone copy: ";
      if (e.file() != args->source) std::cerr << args->source << ": ";
      std::cerr << e.what();
      if (e.jet_code()) std::cerr << " (Jet error " << e.jet_code() << ")";
      std::cerr << '\n';
      status = 1;
    } catch (const std::exception& e) {
      std::cerr << "mirutone copy: " << args->source << ": " << e.what() << '\n';
      status = 1;
    }
  });
}

}  // namespace mirutone::cli
