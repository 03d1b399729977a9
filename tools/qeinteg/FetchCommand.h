#pragma once

// qeinteg fetch FILE.qebf|FILE.csv [--model FILE.xml] [--fields a,b] [--limit N] [--json]: prints
// the rows of a data file through the output fetcher as CSV (or one JSON document, see
// docs/command-line.md). Returns the process exit code.
int RunFetchCommand(int argc, char** argv);
