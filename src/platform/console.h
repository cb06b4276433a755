// The terminal: the command line as UTF-8, Japanese text in and out, and
// whether standard output is a terminal (for the progress bar).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mirutone::platform {

// The program's arguments in UTF-8 (on Windows from the wide command line,
// whatever the console's code page), argv[0] included.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Makes the console read and write UTF-8, which is what the program prints.
void prepare_console();

bool stdout_is_terminal();

// Whether the terminal on standard output moves the cursor and clears lines
// by ANSI escape sequences. Windows 10 and later do once asked to (which this
// does); the console of Windows 7 and 8 never does, and its lines are redrawn
// with a carriage return and spaces instead.
bool terminal_takes_escapes();

// Columns of the terminal (or console window) standard output goes to; 0 when
// it is not one or does not say.
std::size_t terminal_columns();

}  // namespace mirutone::platform
