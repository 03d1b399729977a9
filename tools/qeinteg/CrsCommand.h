// `qeinteg crs`: describes a coordinate system, or recommends projected systems for an extent.
#pragma once

int RunCrsCommand(int argc, char** argv);
