#include "qeinteg/platform/host/data/TempFileDataStore.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "qeinteg/platform/host/process/TempDirectory.h"

namespace {

// How many of up to `limit` records from `first` (each `slots` slots, the last holding the case
// number) carry consecutive case numbers: the run a cursor may hand out at once.
size_t ConsecutiveRecords(const OBS* first, int slots, size_t limit) {
    const double number = first[slots - 1].f;
    size_t n = 1;
    while (n < limit && first[n * static_cast<size_t>(slots) + static_cast<size_t>(slots) - 1].f ==
                            number + static_cast<double>(n))
        ++n;
    return n;
}

// Each record is the case's slots followed by one slot holding the case number.
class FileCursor final : public TAVO_InputCaseIterator::Cursor {
  public:
    FileCursor(const std::string& path, int slots, long count, long next)
        : path_(path), slots_(slots + 1), count_(count), next_(next) {
        const size_t recordBytes = static_cast<size_t>(slots_) * sizeof(OBS);
        blockRecords_ = std::max<size_t>(1, (256 * 1024) / recordBytes);
        buffer_.resize(blockRecords_ * slots_);
        file_ = std::fopen(path.c_str(), "rb");
        if (file_ != nullptr && next_ > 0) {
            // Reload the block holding the current record.
            const long current = next_ - 1;
            blockStart_ = current;
            std::fseek(file_, static_cast<long>(current * recordBytes), SEEK_SET);
            inBlock_ = std::fread(buffer_.data(), recordBytes, blockRecords_, file_);
        } else {
            blockStart_ = next_;
        }
    }
    ~FileCursor() override {
        if (file_ != nullptr)
            std::fclose(file_);
    }

    bool Next(const OBS*& row, long& caseNumber) override {
        if (file_ == nullptr || next_ >= count_)
            return false;
        if (next_ >= blockStart_ + static_cast<long>(inBlock_)) {
            blockStart_ = next_;
            inBlock_ = std::fread(buffer_.data(), sizeof(OBS) * slots_, blockRecords_, file_);
            if (inBlock_ == 0)
                return false;
        }
        const OBS* record = buffer_.data() + (next_ - blockStart_) * slots_;
        row = record;
        caseNumber = static_cast<long>(record[slots_ - 1].f);
        ++next_;
        return true;
    }

    // The following records of the block in memory, as far as their case numbers run on.
    size_t NextRun(size_t maxCases, const OBS*& first, std::ptrdiff_t& stride,
                   long& caseNumber) override {
        if (!Next(first, caseNumber))
            return 0;
        const long inBlock = blockStart_ + static_cast<long>(inBlock_) - (next_ - 1);
        const size_t limit =
            std::min<size_t>(std::max<size_t>(maxCases, 1),
                             static_cast<size_t>(std::min(inBlock, count_ - next_ + 1)));
        const size_t n = ConsecutiveRecords(first, slots_, limit);
        stride = slots_;
        next_ += static_cast<long>(n - 1);
        return n;
    }

    std::unique_ptr<Cursor> Clone(const OBS*& row) const override {
        auto copy = std::make_unique<FileCursor>(path_, slots_ - 1, count_, next_);
        row = next_ > 0 && copy->inBlock_ > 0 ? copy->buffer_.data() : nullptr;
        return copy;
    }

  private:
    std::string path_;
    int slots_;
    long count_;
    long next_;
    std::FILE* file_ = nullptr;
    std::vector<OBS> buffer_;
    size_t blockRecords_ = 1;
    long blockStart_ = 0;
    size_t inBlock_ = 0;
};

class MemoryRecordCursor final : public TAVO_InputCaseIterator::Cursor {
  public:
    MemoryRecordCursor(const std::vector<OBS>& data, int slots, long count, long next)
        : data_(data), slots_(slots + 1), count_(count), next_(next) {}
    bool Next(const OBS*& row, long& caseNumber) override {
        if (next_ >= count_)
            return false;
        row = data_.data() + next_ * slots_;
        caseNumber = static_cast<long>(row[slots_ - 1].f);
        ++next_;
        return true;
    }
    size_t NextRun(size_t maxCases, const OBS*& first, std::ptrdiff_t& stride,
                   long& caseNumber) override {
        if (!Next(first, caseNumber))
            return 0;
        const size_t limit = std::min<size_t>(std::max<size_t>(maxCases, 1),
                                              static_cast<size_t>(count_ - next_ + 1));
        const size_t n = ConsecutiveRecords(first, slots_, limit);
        stride = slots_;
        next_ += static_cast<long>(n - 1);
        return n;
    }
    std::unique_ptr<Cursor> Clone(const OBS*& row) const override {
        row = next_ > 0 ? data_.data() + (next_ - 1) * slots_ : nullptr;
        return std::make_unique<MemoryRecordCursor>(data_, slots_ - 1, count_, next_);
    }

  private:
    const std::vector<OBS>& data_;
    int slots_;
    long count_;
    long next_;
};

}  // namespace

namespace {

// A new empty file in the host's temporary directory, open for writing; null when none can be made.
std::FILE* NewStoreFile(std::string& path) {
    std::string pattern = GetTavoTempPath() + "qe_store_XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "w+b");
    if (file == nullptr) {
        ::close(fd);
        std::remove(pattern.c_str());
        return nullptr;
    }
    path = pattern;
    return file;
}

// Records of `slots` slots, written to a file, or kept in memory when the file fails.
class RecordSink {
  public:
    RecordSink(size_t slots, std::vector<OBS>& memory) : slots_(slots), memory_(memory) {
        file_ = NewStoreFile(path_);
    }
    ~RecordSink() {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    void Put(const OBS* record) {
        if (file_ != nullptr && std::fwrite(record, sizeof(OBS), slots_, file_) != slots_) {
            // The disk is full or failing: go on in memory with what was written so far.
            std::fflush(file_);
            std::rewind(file_);
            std::vector<OBS> done(written_ * slots_);
            const size_t got = std::fread(done.data(), sizeof(OBS) * slots_, written_, file_);
            done.resize(got * slots_);
            Drop();
            memory_ = std::move(done);
        }
        if (file_ == nullptr)
            memory_.insert(memory_.end(), record, record + slots_);
        ++written_;
    }
    // Ends writing; the path of the finished file, or empty when the records are in memory.
    std::string Finish() {
        if (file_ != nullptr && std::fclose(file_) != 0) {
            file_ = nullptr;
            std::remove(path_.c_str());
            path_.clear();
            return std::string();
        }
        file_ = nullptr;
        return path_;
    }
    size_t Written() const { return written_; }

  private:
    void Drop() {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(path_.c_str());
        path_.clear();
    }

    size_t slots_;
    std::vector<OBS>& memory_;
    std::FILE* file_ = nullptr;
    std::string path_;
    size_t written_ = 0;
};

}  // namespace

TempFileDataStore::TempFileDataStore(const TAVO_DataSource& source) : source_(&source) {
    const int columns = source.ColumnCount();
    std::vector<int> wideOffsets;
    int wideSlots = 0;
    // The longest text of each string column (and of its missing values, so that none of them
    // could be cut into another value).
    std::vector<int> widths(static_cast<size_t>(columns), 0);
    for (int k = 0; k < columns; ++k) {
        const TAVO_Variable& v = source.GetVariable(k);
        wideOffsets.push_back(wideSlots);
        wideSlots += v.SlotCount();
        if (v.GetType() == 0)
            continue;
        widths[k] = 1;
        for (const std::string& text : v.GetStringMissingValues())
            widths[k] = std::max(widths[k], static_cast<int>(text.size()));
    }

    // The source is read once (a converting source reports its errors once): a copy as wide as
    // the source, then a narrower one when the texts leave room.
    std::vector<OBS> wide;
    std::string widePath;
    size_t count = 0;
    {
        RecordSink sink(static_cast<size_t>(wideSlots) + 1, wide);
        std::vector<OBS> record(static_cast<size_t>(wideSlots) + 1);
        std::unique_ptr<TAVO_InputCaseIterator> it(source.MakeIterator(nullptr));
        while (it && it->NextCase()) {
            for (int k = 0; k < columns; ++k) {
                const int width = source.GetVariable(k).GetType();
                const OBS* value = it->GetValue(k);
                std::memcpy(&record[wideOffsets[k]], value,
                            sizeof(OBS) * source.GetVariable(k).SlotCount());
                if (width == 0)
                    continue;
                int length = width;
                while (length > widths[k] && value->s[length - 1] == ' ')
                    --length;
                widths[k] = length;
            }
            record[wideSlots].f = static_cast<double>(it->GetCaseNumber());
            sink.Put(record.data());
        }
        count = sink.Written();
        widePath = sink.Finish();
    }
    for (int k = 0; k < columns; ++k) {
        const TAVO_Variable& v = source.GetVariable(k);
        variables_.push_back(v.GetType() > 0 ? v.WithWidth(std::min(v.GetType(), widths[k])) : v);
        offsets_.push_back(slotsPerCase_);
        slotsPerCase_ += variables_.back().SlotCount();
    }
    caseCount_ = static_cast<long>(count);
    if (slotsPerCase_ == wideSlots) {
        path_ = widePath;
        memory_ = std::move(wide);
        return;
    }

    // Narrow each record.
    std::FILE* in = widePath.empty() ? nullptr : std::fopen(widePath.c_str(), "rb");
    std::vector<OBS> wideRecord(static_cast<size_t>(wideSlots) + 1);
    std::vector<OBS> record(static_cast<size_t>(slotsPerCase_) + 1);
    RecordSink sink(record.size(), memory_);
    for (size_t i = 0; i < count; ++i) {
        const OBS* from = nullptr;
        if (in != nullptr) {
            if (std::fread(wideRecord.data(), sizeof(OBS), wideRecord.size(), in) !=
                wideRecord.size())
                break;
            from = wideRecord.data();
        } else {
            from = wide.data() + i * wideRecord.size();
        }
        for (int k = 0; k < columns; ++k) {
            const int width = variables_[k].GetType();
            OBS* dest = &record[offsets_[k]];
            if (width == 0) {
                *dest = from[wideOffsets[k]];
                continue;
            }
            std::memset(dest->s, ' ', static_cast<size_t>(variables_[k].SlotCount()) * 8);
            std::memcpy(dest->s, from[wideOffsets[k]].s, static_cast<size_t>(width));
        }
        record[slotsPerCase_] = from[wideSlots];
        sink.Put(record.data());
    }
    if (in != nullptr)
        std::fclose(in);
    if (!widePath.empty())
        std::remove(widePath.c_str());
    caseCount_ = static_cast<long>(sink.Written());
    path_ = sink.Finish();
}

TempFileDataStore::~TempFileDataStore() {
    if (!path_.empty())
        std::remove(path_.c_str());
}

TAVO_InputCaseIterator* TempFileDataStore::MakeIterator(void*) const {
    std::unique_ptr<TAVO_InputCaseIterator::Cursor> cursor;
    if (!path_.empty()) {
        cursor = std::make_unique<FileCursor>(path_, slotsPerCase_, caseCount_, 0);
    } else {
        cursor = std::make_unique<MemoryRecordCursor>(memory_, slotsPerCase_, caseCount_, 0);
    }
    return new TAVO_InputCaseIterator(std::move(cursor), offsets_);
}
