#include "ui/cli/cli.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>

#include "db/jet/api/sort_keys.h"
#include "i18n/messages.h"
#include "platform/console.h"
#include "platform/sort_key.h"
#include "ui/cli/commands.h"

namespace mirutone::cli {
namespace {

// Columns of the terminal the help goes to; 80 when it does not say.
std::size_t help_width() {
  const std::size_t columns = platform::terminal_columns();
  return columns >= 40 ? columns : 80;
}

// Each line of `text` wrapped at words to `width` columns; every line after
// the first starts with `indent`.
std::string wrap_paragraphs(const std::string& text, std::size_t width, const std::string& indent = "") {
  std::string out;
  std::istringstream lines(text);
  std::string line;
  for (bool first = true; std::getline(lines, line); first = false) {
    if (!first) out += "\n" + indent;
    out += i18n::wrap(line, width, indent);
  }
  return out;
}

// One entry of the help: the name in the first column, padded by the columns
// it takes on the terminal (Japanese takes two a character), then the
// description wrapped at words to the rest of the line.
std::string entry(const std::string& name, const std::string& description, std::size_t column) {
  std::string out = "  " + name;
  const std::size_t used = i18n::display_width(out);
  if (description.empty()) return out + "\n";
  if (used >= column) {
    out += "\n" + std::string(column, ' ');
  } else {
    out += std::string(column - used, ' ');
  }
  const std::size_t width = help_width() - 1 > column + 20 ? help_width() - 1 - column : 20;
  return out + wrap_paragraphs(description, width, std::string(column, ' ')) + "\n";
}

// CLI11's help, with the descriptions wrapped at words to the terminal and
// the headings in the user's language.
class Formatter : public CLI::Formatter {
 public:
  Formatter() {
    for (const char* key : {i18n::N_("Usage"), i18n::N_("OPTIONS"), i18n::N_("Options"), i18n::N_("Positionals"),
                            i18n::N_("REQUIRED"), i18n::N_("TEXT"), i18n::N_("INT"), i18n::N_("UINT"),
                            i18n::N_("SUBCOMMAND"), i18n::N_("Subcommands")}) {
      label(key, i18n::tr(key));
    }
    column_width(28);
  }

  std::string make_option(const CLI::Option* opt, bool is_positional) const override {
    return entry(make_option_name(opt, is_positional) + make_option_opts(opt), make_option_desc(opt),
                 get_column_width());
  }
  std::string make_group(std::string group, bool is_positional, std::vector<const CLI::Option*> opts) const override {
    return CLI::Formatter::make_group(i18n::tr(group), is_positional, std::move(opts));
  }
  std::string make_subcommand(const CLI::App* sub) const override {
    return entry(sub->get_display_name(true), sub->get_description(), get_column_width());
  }
  std::string make_description(const CLI::App* app) const override {
    const std::string desc = CLI::Formatter::make_description(app);
    if (desc.empty()) return desc;
    return wrap_paragraphs(desc, help_width() - 1) + "\n";
  }
  std::string make_footer(const CLI::App* app) const override {
    if (app->get_footer().empty()) return "";
    return wrap_paragraphs(app->get_footer(), help_width() - 1) + "\n";
  }
};

constexpr const char* kCommands[] = {"convert", "inspect", "query", "copy", "make-sample"};

}  // namespace

void add_sort_keys_option(CLI::App* cmd) {
  const char* fallback = platform::system_sort_keys_available() ? "system" : "builtin";
  cmd->add_option_function<std::string>(
         "--sort-keys",
         [](const std::string& v) {
           if (v == "system" && !platform::system_sort_keys_available())
             throw CLI::ValidationError("--sort-keys", i18n::tr("this system has no sort keys of its own; use builtin"));
           jet::set_japanese_sort_keys(v == "system" ? jet::JapaneseSortKeys::System
                                                     : jet::JapaneseSortKeys::Builtin);
         },
         i18n::tr("Japanese text keys: from the operating system (system, Windows only) or from the "
                  "built-in table (builtin); default {1}",
                  fallback))
      ->check(CLI::IsMember({"system", "builtin"}));
}

int run(int argc, char** argv) {
  CLI::App app{i18n::tr("mirutone: converts a NorvalePRO management database to Norvale7's two databases"),
               "mirutone"};
  app.formatter(std::make_shared<Formatter>());
  // Subcommands take their help flag from here.
  app.set_help_flag("-h,--help", i18n::tr("Print this help message and exit"));
  app.footer(i18n::tr("Without a command, mirutone opens the window. Each command has its own --help, e.g. "
                      "mirutone convert --help."));
  app.require_subcommand(1);
  int status = 0;
  register_inspect(app, status);
  register_query(app, status);
  register_make_sample(app, status);
  register_copy(app, status);
  register_convert(app, status);
  for (CLI::App* sub : app.get_subcommands({})) sub->group(i18n::tr("Subcommands"));

  // A word where the command goes that names none: say which ones exist.
  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    std::string list;
    for (const char* name : kCommands) {
      known = known || name == std::string(argv[1]);
      list += (list.empty() ? "" : ", ") + std::string(name);
    }
    if (!known) {
      std::cerr << "mirutone: "
                << i18n::tr("there is no command '{1}'; the commands are {2} (mirutone --help)", argv[1], list)
                << '\n';
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::cerr << "mirutone: " << i18n::tr("bad arguments: {1}", e.what()) << '\n'
              << i18n::tr("For the arguments, see: mirutone --help, or mirutone COMMAND --help") << '\n';
    return 2;
  }
  return status;
}

}  // namespace mirutone::cli
