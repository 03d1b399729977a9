// The host display format of a variable as the metadata layer records it.
#pragma once

#include <string>

#include "qeinteg/platform/host/data/TAVO_Variable.h"

// The format's text ("F8.2", "A20", "DATE11"); empty when the variable has no usable format.
std::string GetCFFieldFormat(const TAVO_Variable& variable);
