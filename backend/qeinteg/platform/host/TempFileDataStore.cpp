#include "qeinteg/platform/host/TempFileDataStore.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "qeinteg/platform/host/TempDirectory.h"

namespace {

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

TempFileDataStore::TempFileDataStore(const TAVO_DataSource& source) : source_(&source) {
    for (int k = 0; k < source.ColumnCount(); ++k) {
        offsets_.push_back(slotsPerCase_);
        slotsPerCase_ += source.GetVariable(k).SlotCount();
    }
    std::unique_ptr<TAVO_InputCaseIterator> it(source.MakeIterator(nullptr));
    std::string pattern = GetTavoTempPath() + "qe_store_XXXXXX";
    const int fd = mkstemp(pattern.data());
    std::FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && file == nullptr)
        ::close(fd);
    if (file != nullptr)
        path_ = pattern;

    std::vector<OBS> record(static_cast<size_t>(slotsPerCase_) + 1);
    bool ok = true;
    while (it && it->NextCase()) {
        for (int k = 0; k < source.ColumnCount(); ++k) {
            std::memcpy(&record[offsets_[k]], it->GetValue(k),
                        sizeof(OBS) * source.GetVariable(k).SlotCount());
        }
        record[slotsPerCase_].f = static_cast<double>(it->GetCaseNumber());
        if (file != nullptr) {
            if (std::fwrite(record.data(), sizeof(OBS), record.size(), file) != record.size()) {
                ok = false;
                break;
            }
        } else {
            memory_.insert(memory_.end(), record.begin(), record.end());
        }
        ++caseCount_;
    }
    if (file != nullptr && std::fclose(file) != 0)
        ok = false;
    if (!ok) {
        // The disk is full or failing: keep the copy in memory instead.
        std::remove(path_.c_str());
        path_.clear();
        memory_.clear();
        caseCount_ = 0;
        std::unique_ptr<TAVO_InputCaseIterator> again(source.MakeIterator(nullptr));
        while (again && again->NextCase()) {
            for (int k = 0; k < source.ColumnCount(); ++k) {
                std::memcpy(&record[offsets_[k]], again->GetValue(k),
                            sizeof(OBS) * source.GetVariable(k).SlotCount());
            }
            record[slotsPerCase_].f = static_cast<double>(again->GetCaseNumber());
            memory_.insert(memory_.end(), record.begin(), record.end());
            ++caseCount_;
        }
    }
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
