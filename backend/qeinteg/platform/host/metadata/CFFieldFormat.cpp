#include "qeinteg/platform/host/metadata/CFFieldFormat.h"

std::string GetCFFieldFormat(const TAVO_Variable& variable) {
    const TAVO_Format& format = variable.GetFormat();
    if (format.width < 1)
        return std::string();
    return format.ToString();
}
