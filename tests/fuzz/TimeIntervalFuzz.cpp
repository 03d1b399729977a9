// Time-interval detection: the input's lines are the texts of a date/time field (its format is
// detected among the known ones), and its bytes, read as doubles, are the values of a date field
// and of a timestamp field. Any value must give a result, never undefined behaviour.
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "qeinteg/platform/engine/stats/TimeIntervals.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = qefuzz::AsText(data, size);
    {
        qelocal::EngineField field;
        field.name = "t";
        field.storage = qelocal::Storage::String;
        qelocal::TimePointCollector collector(field, false);
        std::size_t start = 0;
        while (start <= input.size()) {
            std::size_t end = input.find('\n', start);
            if (end == std::string_view::npos)
                end = input.size();
            qelocal::Cell cell;
            cell.missing = false;
            cell.text = input.substr(start, end - start);
            collector.add(cell);
            start = end + 1;
        }
        collector.finish();
    }
    std::vector<double> values(size / sizeof(double));
    if (!values.empty())
        std::memcpy(values.data(), data, values.size() * sizeof(double));
    for (qelocal::Storage storage :
         {qelocal::Storage::Date, qelocal::Storage::Timestamp, qelocal::Storage::Time}) {
        qelocal::EngineField field;
        field.name = "d";
        field.storage = storage;
        qelocal::TimePointCollector collector(field, true);
        for (double v : values) {
            qelocal::Cell cell;
            cell.missing = false;
            cell.number = v;
            collector.add(cell);
        }
        const qelocal::TimeIntervalResult r = collector.finish();
        qelocal::FormatTemporal(storage, r.shape.first);
        qelocal::FormatTemporal(storage, r.shape.last);
    }
    qelocal::DetectInterval(values);
    return 0;
}
