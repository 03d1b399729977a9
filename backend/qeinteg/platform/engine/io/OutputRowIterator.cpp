#include "qeinteg/platform/engine/io/OutputRowIterator.h"

#include "qeinteg/platform/engine/io/CsvRowSource.h"
#include "qeinteg/platform/engine/io/DataModelXml.h"
#include "qeinteg/platform/engine/io/QebfFile.h"

namespace qelocal {

OutputRowIterator::OutputRowIterator(std::string name, WrittenOutput output)
    : name_(std::move(name)),
      output_(std::move(output)),
      numbers_(output_.fields.size(), 0.0),
      texts_(output_.fields.size()) {}

OutputRowIterator::~OutputRowIterator() = default;

std::string OutputRowIterator::getDataModel() {
    return DataModelDocument(output_.fields);
}

uint32_t OutputRowIterator::nextRecord() {
    if (disposed_)
        return 2;
    current_ = false;
    try {
        if (!source_) {
            if (output_.csv)
                source_ = std::make_unique<CsvRowSource>(output_.dataPath, true, output_.fields);
            else
                source_ = std::make_unique<QebfRowSource>(output_.dataPath);
        }
        if (!source_->next())
            return 1;
        current_ = true;
        return 0;
    } catch (const std::exception& e) {
        error_ = e.what();
        source_.reset();
        return 2;
    }
}

uint32_t OutputRowIterator::getRecordValue(size_t index, const void** data, size_t* length) {
    if (!current_ || data == nullptr || index >= output_.fields.size())
        return 2;
    try {
        const Cell cell = source_->cell(index);
        if (cell.missing) {
            *data = nullptr;
            if (length != nullptr)
                *length = 0;
            return 0;
        }
        if (output_.fields[index].storage == Storage::String) {
            texts_[index].assign(cell.text);
            *data = texts_[index].data();
            if (length != nullptr)
                *length = texts_[index].size();
        } else {
            numbers_[index] = cell.number;
            *data = &numbers_[index];
            if (length != nullptr)
                *length = sizeof(double);
        }
        return 0;
    } catch (const std::exception& e) {
        error_ = e.what();
        return 2;
    }
}

void OutputRowIterator::dispose(JNIEnv*) {
    if (orphaned_) {
        delete this;
        return;
    }
    source_.reset();
    current_ = false;
    disposed_ = true;
}

void OutputRowIterator::Release(OutputRowIterator* iterator) {
    if (iterator == nullptr)
        return;
    if (iterator->disposed_) {
        delete iterator;
        return;
    }
    iterator->orphaned_ = true;
}

uint32_t OutputRowIterator::Rewind() {
    if (disposed_)
        return 2;
    source_.reset();
    current_ = false;
    return 0;
}

}  // namespace qelocal
