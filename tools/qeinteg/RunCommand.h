#pragma once

// qeinteg run JOB.qel [--input NAME=FILE.csv ...] [--set NAME=VALUE ...] [--json]: runs a job text
// on the local engine. Returns the process exit code.
int RunRunCommand(int argc, char** argv);
