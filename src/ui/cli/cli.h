// The terminal front end: subcommands of `mirutone`.
#pragma once

namespace mirutone::cli {

// Parses the command line and runs one subcommand; returns the exit status.
int run(int argc, char** argv);

}  // namespace mirutone::cli
