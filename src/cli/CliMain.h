#pragma once
// writer-cli from its arguments to its exit status.

#include <iosfwd>

int RunWriterCli(int argc, char** argv, std::ostream& out, std::ostream& err);
