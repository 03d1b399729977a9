#include "qeinteg/platform/engine/io/RowSourceStream.h"

#include <algorithm>

namespace qelocal {

RowSourceStream::RowSourceStream(std::unique_ptr<RowSource> source, const ExecContext& context,
                                 float from, float to)
    : source_(std::move(source)),
      context_(context),
      fields_(source_->fields()),
      from_(from),
      to_(to) {
    for (EngineField& f : fields_) {
        if (f.storage == Storage::Unknown)
            f.storage = Storage::String;
    }
}

bool RowSourceStream::next(Batch& out) {
    context_.checkCancel();
    if (ended_)
        return false;
    out.reset(fields_);
    for (Column& c : out.columns)
        c.reserve(kBatchRows);
    // In pieces, so that a slow source (an iterator fed by a user) still sees a cancel promptly.
    constexpr size_t kPiece = 256;
    while (out.rows < kBatchRows) {
        const size_t piece = std::min(kPiece, kBatchRows - out.rows);
        if (source_->nextBatch(out, piece) < piece) {
            ended_ = true;
            break;
        }
        if (out.rows < kBatchRows)
            context_.checkCancel();
    }
    records_ += out.rows;
    if (context_.progress) {
        double fraction = source_->fraction();
        if (fraction < 0)
            fraction = static_cast<double>(records_) / (static_cast<double>(records_) + 100000.0);
        const float value = from_ + (to_ - from_) * static_cast<float>(fraction);
        if (value > last_) {
            last_ = value;
            context_.progress(value);
        }
    }
    return out.rows > 0;
}

bool BatchRowSource::next() {
    if (started_ && row_ + 1 < batch_.rows) {
        ++row_;
        return true;
    }
    started_ = true;
    row_ = 0;
    while (stream_.next(batch_)) {
        if (batch_.rows > 0)
            return true;
    }
    batch_.rows = 0;
    return false;
}

Cell BatchRowSource::cell(size_t index) {
    Cell cell;
    const Column& column = batch_.columns.at(index);
    if (!column.valid[row_])
        return cell;
    cell.missing = false;
    if (column.isString())
        cell.text = column.str[row_];
    else
        cell.number = column.num[row_];
    return cell;
}

}  // namespace qelocal
