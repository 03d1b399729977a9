// `qeinteg match-keys`: how the key fields of a map source match those of a CSV file.
#pragma once

int RunMatchKeysCommand(int argc, char** argv);
