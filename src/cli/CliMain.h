#pragma once

// orvik-cli: the command-line companion of the windows. Returns the process exit code.
int RunCli(int argc, char **argv);
