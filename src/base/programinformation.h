#pragma once

#include <optional>

// What a program run by hand with nothing but --version or --help prints, before it opens
// any socket: the exit code then, none for any other command line.
std::optional<int> answerInformation(int argc, char *argv[], const char *program, const char *help);
