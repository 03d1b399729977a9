#include "qeinteg/platform/host/metadata/NumericStorage.h"

#include <cmath>

#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/platform/host/data/HostValues.h"

CFDatum NumericStorageStatToCF(double value, CFField::StorageType storage) {
    if (value == SYSMIS || std::isnan(value))
        return CFDatum();
    switch (storage) {
        case CFField::Date:
            return CFDatum::MakeReal((value - GetBaseDateNumber()) / 86400.0);
        case CFField::Timestamp:
            return CFDatum::MakeReal(value - GetBaseDateNumber());
        case CFField::Integer:
            if (std::fabs(value) < 9.2e18 && value == std::floor(value))
                return CFDatum::MakeInteger(static_cast<int64_t>(value));
            return CFDatum::MakeReal(value);
        default:
            return CFDatum::MakeReal(value);
    }
}

double NumericStorageCFToStat(const CFDatum& datum, CFField::StorageType storage) {
    if (datum.GetKind() != CFDatum::Integer && datum.GetKind() != CFDatum::Real)
        return SYSMIS;
    const double value = datum.AsDouble();
    switch (storage) {
        case CFField::Date:
            return value * 86400.0 + GetBaseDateNumber();
        case CFField::Timestamp:
            return value + GetBaseDateNumber();
        default:
            return value;
    }
}
