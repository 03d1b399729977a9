#include "qeinteg/platform/host/metadata/CFField.h"

namespace {

const char* const kMeasures[] = {"continuous", "nominal",  "ordinal",
                                 "flag",       "discrete", "typeless"};
const char* const kStorages[] = {nullptr, "integer", "real", "string", "date", "time", "timestamp"};
const char* const kRoles[] = {"input", "target",     "both",     "partition",
                              "split", "freqWeight", "recordId", "none"};

template <size_t N>
const char* Name(const char* const (&table)[N], int code) {
    return code >= 0 && static_cast<size_t>(code) < N ? table[code] : nullptr;
}

template <size_t N>
int Code(const char* const (&table)[N], const std::string& name) {
    for (size_t i = 0; i < N; ++i) {
        if (table[i] != nullptr && name == table[i])
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

const char* CFField::MeasureName(int measure) {
    return Name(kMeasures, measure);
}
const char* CFField::StorageName(int storage) {
    return Name(kStorages, storage);
}
const char* CFField::RoleName(int role) {
    return Name(kRoles, role);
}
int CFField::MeasureFromName(const std::string& name) {
    return Code(kMeasures, name);
}
int CFField::StorageFromName(const std::string& name) {
    return Code(kStorages, name);
}
int CFField::RoleFromName(const std::string& name) {
    return Code(kRoles, name);
}
