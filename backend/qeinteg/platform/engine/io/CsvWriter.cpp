#include "qeinteg/platform/engine/io/CsvWriter.h"

#include "qeinteg/platform/engine/geo/Wkb.h"

#include "qeinteg/platform/engine/stats/Descriptives.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"

namespace qelocal {

CsvWriter::CsvWriter(const std::string& path, const std::vector<EngineField>& fields)
    : path_(path), fields_(fields) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr)
        throw EngineError("cannot create the CSV file " + path);
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i > 0)
            buffer_ += ',';
        putText(fields_[i].name);
    }
    buffer_ += '\n';
}

CsvWriter::~CsvWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
        if (!finished_)
            std::remove(path_.c_str());
    }
}

void CsvWriter::putText(std::string_view text) {
    if (!text.empty() && text.find_first_of(",\"\r\n") == std::string_view::npos &&
        text.front() != ' ' && text.back() != ' ' && text.front() != '\t' && text.back() != '\t') {
        buffer_ += text;
        return;
    }
    buffer_ += '"';
    for (char c : text) {
        if (c == '"')
            buffer_ += '"';
        buffer_ += c;
    }
    buffer_ += '"';
}

void CsvWriter::flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
        throw EngineError("cannot write the CSV file " + path_);
    }
    buffer_.clear();
}

void CsvWriter::writeRecord(RowSource& source) {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i > 0)
            buffer_ += ',';
        const Cell cell = source.cell(i);
        if (cell.missing)
            continue;
        switch (fields_[i].storage) {
            case Storage::String:
            case Storage::Unknown:
                if (fields_[i].geo) {
                    // Geometry bytes are no text: write the GeoJSON geometry instead.
                    geometry_.clear();
                    if (geo::Wkb::AppendGeoJson(cell.text, geometry_))
                        putText(geometry_);
                    break;
                }
                putText(cell.text);
                break;
            case Storage::Date:
            case Storage::Time:
            case Storage::Timestamp:
                buffer_ += FormatTemporal(fields_[i].storage, cell.number);
                break;
            default:
                buffer_ += NumberText(cell.number);
                break;
        }
    }
    buffer_ += '\n';
    if (buffer_.size() >= (1 << 16))
        flush();
}

void CsvWriter::finish() {
    flush();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) {
        std::remove(path_.c_str());
        throw EngineError("cannot write the CSV file " + path_);
    }
    finished_ = true;
}

}  // namespace qelocal
