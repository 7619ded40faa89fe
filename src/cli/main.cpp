// writer-cli: the Writer's operations and file tools without a window.

#include <iostream>

#include "cli/CliMain.h"

int main(int argc, char** argv) { return RunWriterCli(argc, argv, std::cout, std::cerr); }
