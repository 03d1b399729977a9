#include "qeinteg/platform/engine/exec/Batch.h"

namespace qelocal {

void Column::compact(const std::vector<uint8_t>& keep) {
    size_t out = 0;
    const size_t n = valid.size();
    if (isString()) {
        for (size_t i = 0; i < n; ++i) {
            if (keep[i]) {
                if (out != i) {
                    str[out] = std::move(str[i]);
                    valid[out] = valid[i];
                }
                ++out;
            }
        }
        str.resize(out);
    } else {
        for (size_t i = 0; i < n; ++i) {
            num[out] = num[i];
            valid[out] = valid[i];
            out += keep[i] ? 1 : 0;
        }
        num.resize(out);
    }
    valid.resize(out);
}

void Batch::reset(const std::vector<EngineField>& fields) {
    columns.resize(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        columns[i].storage =
            fields[i].storage == Storage::Unknown ? Storage::String : fields[i].storage;
        columns[i].clear();
    }
    rows = 0;
}

void Batch::compact(const std::vector<uint8_t>& keep) {
    size_t kept = 0;
    for (size_t i = 0; i < rows; ++i)
        kept += keep[i] ? 1 : 0;
    if (kept == rows)
        return;
    for (Column& c : columns)
        c.compact(keep);
    rows = kept;
}

size_t RowSource::nextBatch(Batch& out, size_t maxRows) {
    const size_t n = out.columns.size();
    if (n != fields().size()) {
        throw EngineError("a batch of " + std::to_string(n) + " columns was asked of " +
                          std::to_string(fields().size()) + " fields");
    }
    size_t added = 0;
    while (added < maxRows && next()) {
        for (size_t i = 0; i < n; ++i) {
            const Cell value = cell(i);
            Column& column = out.columns[i];
            if (value.missing)
                column.appendMissing();
            else if (column.isString())
                column.appendText(value.text);
            else
                column.appendNumber(value.number);
        }
        ++added;
    }
    out.rows += added;
    return added;
}

int FindField(const std::vector<EngineField>& fields, std::string_view name) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace qelocal
