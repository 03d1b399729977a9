// `qeinteg describe FILE.csv [--fields a,b] [--datetime FIELD] [--json]`: runs the descriptives
// procedure on a CSV file and prints each field's summary and, with --datetime, the detected time
// interval of that field.
#pragma once

int RunDescribeCommand(int argc, char** argv);
