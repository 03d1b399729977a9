#include "qeinteg/platform/engine/io/QebfFile.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace qelocal {

namespace {

constexpr char kMagic[4] = {'Q', 'E', 'B', 'F'};
constexpr char kEndMagic[4] = {'F', 'B', 'E', 'Q'};
constexpr uint16_t kVersion = 1;
constexpr uint8_t kTagRecord = 1;
constexpr uint8_t kTagEnd = 0;
constexpr uint32_t kMissingText = 0xFFFFFFFFu;
constexpr uint32_t kMaxFields = 1u << 20;
constexpr size_t kFlushAt = 1 << 16;

template <typename T>
T FromLittle(T value) {
    if constexpr (std::endian::native == std::endian::big) {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
        std::memcpy(&value, bytes, sizeof(T));
    }
    return value;
}

}  // namespace

// ---- reading ---------------------------------------------------------------------------------

QebfRowSource::QebfRowSource(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr)
        throw EngineError("cannot open the QEBF file " + path);
    std::error_code ec;
    size_ = std::filesystem::file_size(path, ec);
    try {
        char magic[4];
        read(magic, 4);
        if (std::memcmp(magic, kMagic, 4) != 0)
            throw EngineError(path + " is not a QEBF file");
        uint16_t version = 0;
        read(&version, 2);
        version = FromLittle(version);
        if (version == 0 || version > kVersion) {
            throw EngineError(path + " is QEBF version " + std::to_string(version) +
                              ", which this engine cannot read");
        }
        uint16_t reserved = 0;
        read(&reserved, 2);
        const uint32_t count = readU32();
        if (count > kMaxFields)
            throw EngineError(path + " is damaged: bad field count");
        for (uint32_t i = 0; i < count; ++i) {
            EngineField field;
            const uint8_t storage = readU8();
            const uint8_t measure = readU8();
            if (storage < 1 || storage > 6 || measure > 5) {
                throw EngineError(path + " is damaged: bad storage or measure of field " +
                                  std::to_string(i + 1));
            }
            field.storage = static_cast<Storage>(storage);
            field.measure = static_cast<Measure>(measure);
            const uint32_t length = readU32();
            if (length > size_ - offset_)
                throw EngineError(path + " is truncated");
            field.name.resize(length);
            read(field.name.data(), length);
            fields_.push_back(std::move(field));
        }
        const uint32_t modelLength = readU32();
        if (modelLength > size_ - offset_)
            throw EngineError(path + " is truncated");
        std::string model(modelLength, '\0');
        read(model.data(), modelLength);
        if (!model.empty()) {
            // The embedded model carries labels and missing values; the header is authoritative
            // for names and storages.
            std::vector<EngineField> described = ParseDataModelXml(model);
            if (described.size() == fields_.size()) {
                for (size_t i = 0; i < described.size(); ++i) {
                    if (described[i].name == fields_[i].name &&
                        described[i].storage == fields_[i].storage) {
                        fields_[i] = std::move(described[i]);
                    }
                }
            }
        }
    } catch (...) {
        std::fclose(file_);
        file_ = nullptr;
        throw;
    }
    numbers_.assign(fields_.size(), 0.0);
    texts_.assign(fields_.size(), std::string());
    missing_.assign(fields_.size(), 1);
}

QebfRowSource::~QebfRowSource() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void QebfRowSource::read(void* data, size_t size) {
    if (size == 0)
        return;
    if (std::fread(data, 1, size, file_) != size) {
        throw EngineError(std::ferror(file_) ? "cannot read " + path_ : path_ + " is truncated");
    }
    offset_ += size;
}

uint8_t QebfRowSource::readU8() {
    uint8_t v = 0;
    read(&v, 1);
    return v;
}

uint32_t QebfRowSource::readU32() {
    uint32_t v = 0;
    read(&v, 4);
    return FromLittle(v);
}

uint64_t QebfRowSource::readU64() {
    uint64_t v = 0;
    read(&v, 8);
    return FromLittle(v);
}

double QebfRowSource::readF64() {
    return std::bit_cast<double>(readU64());
}

bool QebfRowSource::next() {
    if (ended_)
        return false;
    const uint8_t tag = readU8();
    if (tag == kTagEnd) {
        const uint64_t count = readU64();
        char magic[4];
        read(magic, 4);
        if (std::memcmp(magic, kEndMagic, 4) != 0 || count != records_) {
            throw EngineError(path_ + " is damaged: its end marker does not match its records");
        }
        if (offset_ != size_)
            throw EngineError(path_ + " is damaged: bytes follow its end marker");
        ended_ = true;
        return false;
    }
    if (tag != kTagRecord)
        throw EngineError(path_ + " is damaged: bad record marker");
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].storage == Storage::String) {
            const uint32_t length = readU32();
            missing_[i] = length == kMissingText ? 1 : 0;
            if (missing_[i]) {
                texts_[i].clear();
                continue;
            }
            if (length > size_ - offset_)
                throw EngineError(path_ + " is truncated");
            texts_[i].resize(length);
            read(texts_[i].data(), length);
        } else {
            const uint8_t present = readU8();
            if (present > 1)
                throw EngineError(path_ + " is damaged: bad value marker");
            missing_[i] = present == 0 ? 1 : 0;
            if (present)
                numbers_[i] = readF64();
        }
    }
    ++records_;
    return true;
}

Cell QebfRowSource::cell(size_t index) {
    Cell cell;
    cell.missing = missing_.at(index) != 0;
    if (fields_[index].storage == Storage::String) {
        cell.text = texts_[index];
    } else {
        cell.number = numbers_[index];
    }
    return cell;
}

double QebfRowSource::fraction() const {
    return size_ == 0 ? 1.0 : static_cast<double>(offset_) / static_cast<double>(size_);
}

// ---- writing ---------------------------------------------------------------------------------

QebfWriter::QebfWriter(const std::string& path, const std::vector<EngineField>& fields)
    : path_(path), fields_(fields) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr)
        throw EngineError("cannot create the QEBF file " + path);
    put(kMagic, 4);
    const uint16_t version = FromLittle(kVersion);
    put(&version, 2);
    const uint16_t reserved = 0;
    put(&reserved, 2);
    putU32(static_cast<uint32_t>(fields_.size()));
    for (const EngineField& field : fields_) {
        const Storage storage = field.storage == Storage::Unknown ? Storage::String : field.storage;
        putU8(static_cast<uint8_t>(storage));
        putU8(static_cast<uint8_t>(field.measure));
        putU32(static_cast<uint32_t>(field.name.size()));
        put(field.name.data(), field.name.size());
    }
    const std::string model = DataModelDocument(fields_);
    putU32(static_cast<uint32_t>(model.size()));
    put(model.data(), model.size());
}

QebfWriter::~QebfWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
        if (!finished_)
            std::remove(path_.c_str());
    }
}

void QebfWriter::put(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    buffer_.insert(buffer_.end(), bytes, bytes + size);
    if (buffer_.size() >= kFlushAt)
        flush();
}

void QebfWriter::putU32(uint32_t v) {
    v = FromLittle(v);
    put(&v, 4);
}

void QebfWriter::putU64(uint64_t v) {
    v = FromLittle(v);
    put(&v, 8);
}

void QebfWriter::putF64(double v) {
    putU64(std::bit_cast<uint64_t>(v));
}

void QebfWriter::flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
        throw EngineError("cannot write the QEBF file " + path_);
    }
    buffer_.clear();
}

void QebfWriter::writeRecord(RowSource& source) {
    putU8(kTagRecord);
    for (size_t i = 0; i < fields_.size(); ++i) {
        const Cell cell = source.cell(i);
        if (fields_[i].storage == Storage::String || fields_[i].storage == Storage::Unknown) {
            if (cell.missing) {
                putU32(kMissingText);
            } else {
                if (cell.text.size() >= kMissingText) {
                    throw EngineError("a text of field '" + fields_[i].name +
                                      "' is too long for a QEBF file");
                }
                putU32(static_cast<uint32_t>(cell.text.size()));
                put(cell.text.data(), cell.text.size());
            }
        } else if (cell.missing || !std::isfinite(cell.number)) {
            putU8(0);
        } else {
            putU8(1);
            putF64(cell.number);
        }
    }
    ++records_;
}

void QebfWriter::finish() {
    putU8(kTagEnd);
    putU64(records_);
    put(kEndMagic, 4);
    flush();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) {
        std::remove(path_.c_str());
        throw EngineError("cannot write the QEBF file " + path_);
    }
    finished_ = true;
}

}  // namespace qelocal
