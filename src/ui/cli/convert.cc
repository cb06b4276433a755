// mirutone convert SOURCE: the conversion run in a terminal. The confirmation
// is asked on the terminal (or answered by --yes), progress goes to stdout,
// and on failure the cause, which the window does not show, goes to stderr.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "convert/conversion_run.h"
#include "convert/run_report.h"
#include "db/jet/api/codepage.h"
#include "i18n/messages.h"
#include "ui/cli/commands.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/path.h"

namespace mirutone::cli {
namespace {

// Exit statuses.
constexpr int kCompleted = 0;
constexpr int kFailed = 1;
constexpr int kBadArguments = 2;
constexpr int kDeclined = 3;

struct ConvertArgs {
  std::string source;
  std::string out;
  bool yes = false;
  int codepage = 0;
};

// Columns of the terminal on stdout (80 when it does not say).
std::size_t terminal_width() {
  const std::size_t columns = platform::terminal_columns();
  return columns > 0 ? columns : 80;
}

// `text` cut to `width` columns, a wide character not split.
std::string fit(const std::string& text, std::size_t width) {
  if (i18n::display_width(text) <= width) return text;
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = 1;
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0xf0) len = 4; else if (b >= 0xe0) len = 3; else if (b >= 0xc0) len = 2;
    std::string next = out + text.substr(i, len);
    if (i18n::display_width(next) + 1 > width) break;
    out = std::move(next);
    i += len;
  }
  return out + "~";
}

// Yes in either language: y, yes or はい (any case, spaces around).
bool is_yes(std::string answer) {
  const auto first = answer.find_first_not_of(" \t\r");
  if (first == std::string::npos) return false;
  answer = answer.substr(first, answer.find_last_not_of(" \t\r") - first + 1);
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return answer == "y" || answer == "yes" || answer == "はい";
}

class TerminalUi : public convert::UserInterface {
 public:
  TerminalUi(bool yes, std::string folder)
      : yes_(yes), folder_(std::move(folder)), bar_(platform::stdout_is_terminal()) {}

  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
    end_bar();
    if (buttons != convert::vbYesNo) {
      std::cout << prompt << std::endl;
      return convert::vbOK;
    }
    std::cout << i18n::tr("\"Ruzevuz.mdb\" and \"NVData.mdb\" in {1} will be replaced.", folder_) << '\n'
              << prompt << ' ' << i18n::tr("[y/N]") << ' ' << std::flush;
    if (yes_) {
      std::cout << i18n::tr("y (--yes)") << std::endl;
      return convert::vbYes;
    }
    std::string answer;
    if (!std::getline(std::cin, answer)) {
      std::cout << std::endl;
      return convert::vbNo;
    }
    return is_yes(answer) ? convert::vbYes : convert::vbNo;
  }

  void SetMousePointer(int) override {}

  void ReportProgress(const convert::Progress& p) override {
    if (p.step == 0) {
      end_bar();
      std::cout << convert::progress_text(p) << std::endl;
      return;
    }
    if (!started_) {
      started_ = true;
      start_ = std::chrono::steady_clock::now();
    }
    if (bar_) {
      constexpr int kWidth = 20;
      const int filled = static_cast<int>(convert::step_fraction(p) * kWidth);
      std::string line = "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
                         convert::progress_text(p);
      const double elapsed =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
      const std::string left = convert::time_left(p, elapsed);
      if (!left.empty() && !(p.step_done && p.step == p.total_steps)) line += ", " + left;
      const std::string shown = fit(line, terminal_width() - 1);
      std::cout << i18n::redraw_line(shown, bar_width_, escapes_) << std::flush;
      bar_width_ = i18n::display_width(shown);
      bar_open_ = true;
      if (p.step_done && p.step == p.total_steps) end_bar();
    } else if (p.step_done) {
      std::cout << i18n::tr("step {1}/{2} {3} -> {4}: {5} rows copied", p.step, p.total_steps, p.table, p.target,
                            p.copied);
      if (p.copied != p.rows) std::cout << i18n::tr(" of {1}", p.rows);
      std::cout << std::endl;
    }
    if (p.damage) {
      end_bar();
      std::cout << "step " << p.step << ": " << p.damage->describe() << std::endl;
    }
  }

  void end_bar() {
    if (bar_open_) std::cout << std::endl;
    bar_open_ = false;
    bar_width_ = 0;
  }

 private:
  bool yes_;
  std::string folder_;
  bool bar_;
  bool escapes_ = bar_ && platform::terminal_takes_escapes();
  bool bar_open_ = false;
  std::size_t bar_width_ = 0;  // columns of the bar line on screen
  bool started_ = false;
  std::chrono::steady_clock::time_point start_;
};

void print_summary(const convert::RunResult& r, std::ostream& out) {
  if (r.steps.empty()) return;
  // Wrapped to a terminal's width; one line per step into a file or pipe.
  const bool terminal = platform::stdout_is_terminal();
  for (const std::string& line : convert::summary_lines(r)) {
    if (!terminal) {
      out << line << '\n';
      continue;
    }
    const std::size_t lead = std::min(line.find_first_not_of(' '), line.size());
    const std::string indent(lead, ' ');
    out << indent << i18n::wrap(line.substr(lead), terminal_width() - 1 - lead, indent + "  ") << '\n';
  }
  out << std::flush;
}

int convert_main(const ConvertArgs& args) {
  const std::string me = "mirutone convert: ";
  namespace fs = std::filesystem;
  std::error_code ec;
  if (args.codepage != 0) {
    try {
      jet::CodePage check(args.codepage);
    } catch (const std::exception&) {
      std::cerr << me << i18n::tr("code page {1} is not supported here", std::to_string(args.codepage)) << '\n';
      return kBadArguments;
    }
  }
  schema::ModuleState state;
  std::string folder = convert::folder_of(args.source);
  if (!args.out.empty()) {
    if (!fs::is_directory(platform::fs_path(args.out), ec)) {
      bool exists = fs::exists(platform::fs_path(args.out), ec);
      std::cerr << me
                << (exists ? i18n::tr("the output folder {1} is not a folder (--out names the folder for the two new files)", args.out)
                           : i18n::tr("the output folder {1} does not exist", args.out))
                << '\n';
      return kBadArguments;
    }
    folder = args.out;
#ifdef _WIN32
    // "D:\" keeps its separator: "D:" alone would be the drive's current folder.
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\') &&
           !(folder.size() == 3 && folder[1] == ':'))
      folder.pop_back();
#else
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
#endif
    state.strDbFolder = folder;
  }
  // Ctrl-C or a termination request stops the run at the next row, so that
  // the output files are closed complete instead of being cut off.
  platform::on_interrupt(convert::request_stop);
  std::string shown_folder =
      platform::utf8_path(fs::absolute(platform::fs_path(folder.empty() ? "." : folder), ec).lexically_normal());
  if (ec || shown_folder.empty()) shown_folder = folder;
  TerminalUi ui(args.yes, shown_folder);
  convert::ConversionRun run(state, ui);
  run.set_source_codepage(args.codepage);
  convert::RunResult r = run.Command1_Click(args.source);
  ui.end_bar();
  // The closing list of source tables that look damaged, after any outcome.
  auto damage_summary = [&] {
    if (r.damaged.empty()) return;
    std::cerr << me << r.damaged.size() << " source table(s) read fewer or more rows than they count:\n";
    for (const auto& d : r.damaged) std::cerr << "  step " << d.step << ": " << d.describe() << '\n';
  };
  struct AtEnd {
    std::function<void()> f;
    ~AtEnd() { f(); }
  } summary_at_end{damage_summary};
  switch (r.outcome) {
    case convert::RunOutcome::Declined:
      return kDeclined;
    case convert::RunOutcome::Refused:
      std::cerr << me << i18n::tr("{1} is one of the output files; nothing was changed", args.source) << '\n';
      return kFailed;
    case convert::RunOutcome::Failed:
      print_summary(r, std::cout);
      std::cerr << me << i18n::tr("failed at {1}", r.cause->describe()) << '\n';
      if (r.stopped) std::cerr << me << i18n::tr("The output files are incomplete: do not use them.") << '\n';
      if (r.builder_error) std::cerr << me << i18n::tr("creating the new databases had already failed") << '\n';
      return kFailed;
    case convert::RunOutcome::Completed:
      print_summary(r, std::cout);
      if (r.builder_error) {
        std::cerr << me << i18n::tr("creating the new databases failed (see above); the output is incomplete")
                  << '\n';
        return kFailed;
      }
      std::cout << i18n::tr("Wrote {1} and {2} ({3} rows copied)", r.kanri_path, r.data_path, r.rows_copied)
                << std::endl;
      return kCompleted;
  }
  return kFailed;
}

}  // namespace

void register_convert(CLI::App& app, int& status) {
  auto args = std::make_shared<ConvertArgs>();
  auto* cmd = app.add_subcommand(
      "convert", i18n::tr("Convert a NorvalePRO management database into Ruzevuz.mdb and NVData.mdb"));
  cmd->add_option("SOURCE", args->source, i18n::tr("The old management database (管理報.mdb)"))->required();
  cmd->add_flag("--yes,-y", args->yes, i18n::tr("Answer the confirmation with Yes"));
  cmd->add_option("--out", args->out, i18n::tr("Folder for the two new files (default: the source's folder)"));
  cmd->add_option("--codepage", args->codepage,
                  i18n::tr("Read the source's text in this code page instead of the one its header names"));
  add_sort_keys_option(cmd);
  cmd->footer(i18n::tr("Exit status: 0 completed; 1 failed (the cause is on stderr), or a new database could "
                       "not be built; 2 bad arguments; 3 the confirmation was not answered Yes."));
  cmd->callback([args, &status] { status = convert_main(*args); });
}

}  // namespace mirutone::cli
