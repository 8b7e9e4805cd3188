// Command-line front end: runs the engine without a window.
#include "quillbook/Commands.h"

int main(int argc, char** argv) { return qbcli::Main(argc, argv); }
