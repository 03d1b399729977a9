// A diagnostic path: when the environment variable QE_STAT_ITER_OPT asks for it, a small engine job
// reads a dataset iterator and writes its rows with a data model, so that the data the engine sees
// can be inspected. The option is read once per process (1: QEBF, 2: CSV, 3: host data file;
// anything else: no conversion).
#pragma once

#include <string>

#include "qeinteg/qeinteg_export.h"

class QEDebug;
class QERawDataIterator;
class QERunner;

// Converts into the given files. Returns the option (1 to 3) when the conversion ran and
// succeeded; 0 when no conversion is asked for or the job failed; -1 for a null iterator, or a
// null runner when a conversion is asked for. `debug` may be null.
QEINTEG_EXPORT int IteratorConversion(QERawDataIterator* iterator, QERunner* runner, QEDebug* debug,
                                      std::string const& dataPath,
                                      std::string const& dataModelPath);

// Converts into "qe_stats_" + name files made unique in `directory` (which must end in a
// separator); on success returns the paths through the two strings, which are left untouched
// otherwise.
QEINTEG_EXPORT int IteratorConversion(QERawDataIterator* iterator, QERunner* runner, QEDebug* debug,
                                      std::string const& directory, std::string& dataPath,
                                      std::string& dataModelPath);

// The option as read on first use (tests).
QEINTEG_EXPORT int IteratorConversionOption();
