// `qeinteg describe FILE.csv [--fields a,b] [--datetime FIELD] [--json]`: runs the descriptives
// procedure on a CSV file and prints each field's summary and, with --datetime, the detected time
// interval of that field.
#pragma once

#include <string>

int RunDescribeCommand(int argc, char** argv);

// A number as the text output shows it: whole numbers in full, others in the fewest digits that
// read back as the same value.
std::string DescribeNumberText(double value);
