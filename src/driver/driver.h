// The command line and the run: options, loading, both passes, size check, dump and run.
#pragma once

// Runs the tool on its command line; returns the process exit status, 0 or 1.
int runDriver(int argc, char** argv);
// The same on a console the caller has set up, and without the final flush.
int runCommandLine(int argc, char** argv);
// Prints the usage text on standard error.
void printUsage(const char* programName);
