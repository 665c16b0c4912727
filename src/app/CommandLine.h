#pragma once

#include <optional>

// Answers --help and --version (and their short forms) before any window,
// browser or display connection exists, so both work on a machine without a
// display, e.g. right after installing the package. Returns the exit code
// when the command line asked for one of them; nothing when the program
// should start as usual.
std::optional<int> AnswerCommandLine(int argc, char* argv[]);
