// mirutone make-sample OUT: writes a made-up NorvalePRO management database
// to try the conversion on.
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "apps/sample_source.h"
#include "i18n/messages.h"
#include "ui/cli/commands.h"
#include "platform/path.h"

namespace mirutone::cli {
namespace {

struct MakeSampleArgs {
  std::string out;
  convert::SampleOptions options;
};

}  // namespace

void register_make_sample(CLI::App& app, int& status) {
  auto args = std::make_shared<MakeSampleArgs>();
  auto* cmd = app.add_subcommand(
      "make-sample", i18n::tr("Write a sample NorvalePRO management database (Jet 3, code page 932) to convert"));
  cmd->add_option("OUT", args->out, i18n::tr("The .mdb file to create; an existing file is never overwritten"))
      ->required();
  cmd->add_option("--tags", args->options.tags, i18n::tr("Number of tags"))
      ->check(CLI::Range(0, convert::SampleOptions::kMaxTags))
      ->capture_default_str();
  cmd->add_option("--days", args->options.days, i18n::tr("Days of daily report data, from 2024/04/01"))
      ->check(CLI::Range(0, convert::SampleOptions::kMaxDays))
      ->capture_default_str();
  add_sort_keys_option(cmd);
  cmd->callback([args, &status] {
    const char* me = "mirutone make-sample: ";
    std::error_code ec;
    if (std::filesystem::exists(platform::fs_path(args->out), ec)) {
      std::cerr << me << i18n::tr("{1} already exists; remove it or choose another name", args->out) << '\n';
      status = 1;
      return;
    }
    try {
      auto summary = convert::make_sample_source(args->out, args->options);
      long long total = 0;
      for (const auto& [table, rows] : summary.rows) total += rows;
      std::cout << i18n::tr("Wrote {1}: {2} tables, {3} rows ({4} tags, {5} days)", args->out,
                            summary.rows.size(), total, args->options.tags, args->options.days)
                << '\n';
      status = 0;
    } catch (const std::invalid_argument& e) {
      std::cerr << me << e.what() << '\n';
      status = 2;
    } catch (const std::exception& e) {
      std::cerr << me << e.what() << '\n';
      status = 1;
    }
  });
}

}  // namespace mirutone::cli
