#include "cli/app.h"

int main(int argc, char** argv) { return keelpack::cli::RunCommandLine(argc, argv); }
