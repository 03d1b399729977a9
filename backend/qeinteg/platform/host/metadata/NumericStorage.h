// Conversion of host numbers to and from the metadata layer's representation for a storage: dates
// are days from the base date, timestamps seconds from the base date, integers 64-bit integers,
// other storages the number itself. System-missing is an empty datum.
#pragma once

#include "qeinteg/platform/host/metadata/CFDatum.h"
#include "qeinteg/platform/host/metadata/CFField.h"

CFDatum NumericStorageStatToCF(double value, CFField::StorageType storage);
// The host number of a datum for a storage; system-missing for an empty or text datum.
double NumericStorageCFToStat(const CFDatum& datum, CFField::StorageType storage);
