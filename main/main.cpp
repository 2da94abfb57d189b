// SPDX-License-Identifier: GPL-3.0-or-later
// Abacorn: a talking arithmetic flash-card trainer for young children.
#include "main/program.h"

// The trainer takes no command line; argv[0] only names it to the toolkit.
int main(int, char** argv) { return program::run(argv[0]); }
