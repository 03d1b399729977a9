#include "qeinteg/platform/host/data/TAVO_DataSource.h"

#include <strings.h>

int TAVO_DataSource::FindVarIndex(const std::string& name, int start) const {
    if (name.empty())
        return -1;
    for (int i = start < 0 ? 0 : start; i < ColumnCount(); ++i) {
        if (strcasecmp(GetVariable(i).GetName().c_str(), name.c_str()) == 0)
            return i;
    }
    return -1;
}
