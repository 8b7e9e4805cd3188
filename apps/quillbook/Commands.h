#pragma once
namespace qbcli {
// Parses the command line and runs one command; returns the exit status.
int Main(int argc, char** argv);
}  // namespace qbcli
