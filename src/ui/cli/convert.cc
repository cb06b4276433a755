// mirutone convert SOURCE: the conversion run in a terminal. The confirmation
// is asked on the terminal (or answered by --yes), progress goes to stdout,
// and on failure the cause, which the window does not show, goes to stderr.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "convert/conversion_run.h"
#include "db/jet/codepage.h"
#include "ui/cli/commands.h"

namespace mirutone::cli {
namespace {

struct ConvertArgs {
  std::string source;
  std::string out;
  bool yes = false;
  int codepage = 0;
};

class TerminalUi : public convert::UserInterface {
 public:
  explicit TerminalUi(bool yes) : yes_(yes), bar_(::isatty(STDOUT_FILENO) == 1) {}

  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
    end_bar();
    if (buttons != convert::vbYesNo) {
      std::cout << prompt << std::endl;
      return convert::vbOK;
    }
    std::cout << prompt << " [y/N] " << std::flush;
    if (yes_) {
      std::cout << "y (--yes)" << std::endl;
      return convert::vbYes;
    }
    std::string answer;
    if (!std::getline(std::cin, answer)) {
      std::cout << std::endl;
      return convert::vbNo;
    }
    auto first = answer.find_first_not_of(" \t\r");
    if (first == std::string::npos) return convert::vbNo;
    char c = answer[first];
    return (c == 'y' || c == 'Y') ? convert::vbYes : convert::vbNo;
  }

  void SetMousePointer(int) override {}

  void ReportProgress(const convert::Progress& p) override {
    if (p.step == 0) {
      end_bar();
      std::cout << "Creating " << p.table << std::endl;
      return;
    }
    if (bar_) {
      constexpr int kWidth = 24;
      int filled = (p.step - (p.step_done ? 0 : 1)) * kWidth / p.total_steps;
      std::cout << "\r\033[K[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] "
                << p.step << '/' << p.total_steps << ' ' << p.table << ": " << p.copied << " rows copied"
                << std::flush;
      bar_open_ = true;
      if (p.step_done && p.step == p.total_steps) end_bar();
    } else if (p.step_done) {
      std::cout << "step " << p.step << '/' << p.total_steps << ' ' << p.table << " -> " << p.target << ": "
                << p.copied << " rows copied";
      if (p.copied != p.rows) std::cout << " of " << p.rows;
      std::cout << std::endl;
    }
    if (p.damage) {
      end_bar();
      std::cout << "step " << p.step << ": " << p.damage->describe() << std::endl;
    }
  }

 private:
  void end_bar() {
    if (bar_open_) std::cout << std::endl;
    bar_open_ = false;
  }

  bool yes_;
  bool bar_;
  bool bar_open_ = false;
};

// Exit statuses.
constexpr int kCompleted = 0;
constexpr int kFailed = 1;
constexpr int kBadArguments = 2;
constexpr int kDeclined = 3;

int convert_main(const ConvertArgs& args) {
  const char* me = "mirutone convert: ";
  namespace fs = std::filesystem;
  std::error_code ec;
  if (args.codepage != 0) {
    try {
      jet::CodePage check(args.codepage);
    } catch (const std::exception&) {
      std::cerr << me << "code page " << args.codepage << " is not supported here\n";
      return kBadArguments;
    }
  }
  schema::ModuleState state;
  if (!args.out.empty()) {
    if (!fs::is_directory(args.out, ec)) {
      bool exists = fs::exists(args.out, ec);
      std::cerr << me << "the output folder " << args.out
                << (exists ? " is not a folder (--out names the folder for the two new files)" : " does not exist")
                << '\n';
      return kBadArguments;
    }
    std::string folder = args.out;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    state.strDbFolder = folder;
  }
  // Ctrl-C or a termination request stops the run at the next row, so that
  // the output files are closed complete instead of being cut off.
  struct sigaction on_stop{};
  on_stop.sa_handler = [](int) { convert::request_stop(); };
  sigemptyset(&on_stop.sa_mask);
  ::sigaction(SIGINT, &on_stop, nullptr);
  ::sigaction(SIGTERM, &on_stop, nullptr);
  TerminalUi ui(args.yes);
  convert::ConversionRun run(state, ui);
  run.set_source_codepage(args.codepage);
  convert::RunResult r = run.Command1_Click(args.source);
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
      std::cerr << me << args.source << " is one of the output files; nothing was changed\n";
      return kFailed;
    case convert::RunOutcome::Failed:
      std::cerr << me << "failed at " << r.cause->describe() << '\n';
      if (r.builder_error) std::cerr << me << "creating the new databases had already failed\n";
      return kFailed;
    case convert::RunOutcome::Completed:
      if (r.builder_error) {
        std::cerr << me << "creating the new databases failed (see above); the output is incomplete\n";
        return kFailed;
      }
      std::cout << "Wrote " << r.kanri_path << " and " << r.data_path << " (" << r.rows_copied
                << " rows copied)" << std::endl;
      return kCompleted;
  }
  return kFailed;
}

}  // namespace

void register_convert(CLI::App& app) {
  auto args = std::make_shared<ConvertArgs>();
  auto* cmd = app.add_subcommand(
      "convert", "Convert a NorvalePRO management database into Ruzevuz.mdb and NVData.mdb");
  cmd->add_option("SOURCE", args->source, "The old management database (管理報.mdb)")->required();
  cmd->add_flag("--yes,-y", args->yes, "Answer the confirmation with Yes");
  cmd->add_option("--out", args->out, "Folder for the two new files (default: the source's folder)");
  cmd->add_option("--codepage", args->codepage,
                  "Read the source's text in this code page instead of the one its header names");
  cmd->callback([args] { set_status(convert_main(*args)); });
}

}  // namespace mirutone::cli
