#include "qeinteg/platform/engine/io/GeoJsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/geo/Wkb.h"

namespace qelocal {

namespace {

constexpr size_t kFlushAt = 1 << 20;

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void AppendValue(std::string& out, const EngineField& field, const Column& column, size_t row) {
    if (!column.valid[row]) {
        out += "null";
        return;
    }
    if (column.isString()) {
        if (field.geo) {
            if (!geo::Wkb::AppendGeoJson(column.str[row], out))
                out += "null";
            return;
        }
        AppendQuoted(out, column.str[row]);
        return;
    }
    const double v = column.num[row];
    switch (field.storage) {
        case Storage::Date:
        case Storage::Time:
        case Storage::Timestamp:
            AppendQuoted(out, FormatTemporal(field.storage, v));
            return;
        case Storage::Integer:
            if (std::fabs(v) < 9.0e15) {
                char buffer[32];
                const auto r =
                    std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(v));
                out.append(buffer, r.ptr);
                return;
            }
            [[fallthrough]];
        default:
            geo::AppendNumber(out, v);
    }
}

}  // namespace

GeoJsonWriter::GeoJsonWriter(const std::string& path, const std::vector<EngineField>& fields,
                             std::optional<GeoJsonMetadata> metadata)
    : path_(path), fields_(fields), bounds_(fields.size()), any_(fields.size(), false) {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].geo && geometry_ < 0)
            geometry_ = static_cast<int>(i);
        std::string name;
        AppendQuoted(name, fields_[i].name);
        names_.push_back(std::move(name));
    }
    if (metadata) {
        const int key = FindField(fields_, metadata->key);
        if (key >= 0 && key != geometry_)
            id_ = key;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr)
        throw EngineError("cannot create " + path + ": " + std::strerror(errno));
    buffer_ = "{\"type\":\"FeatureCollection\",";
    if (metadata) {
        buffer_ += "\"metadata\":{\"resourceId\":";
        AppendQuoted(buffer_, metadata->resourceId);
        buffer_ += ",\"key\":";
        AppendQuoted(buffer_, metadata->key);
        buffer_ += "},";
    }
    buffer_ += "\"features\":[";
}

GeoJsonWriter::~GeoJsonWriter() {
    if (file_ != nullptr)
        std::fclose(file_);
    if (!finished_)
        std::remove(path_.c_str());
}

void GeoJsonWriter::write(const Batch& batch) {
    for (size_t r = 0; r < batch.rows; ++r) {
        buffer_ += records_++ == 0 ? "\n{\"type\":\"Feature\"," : ",\n{\"type\":\"Feature\",";
        if (id_ >= 0 && batch.columns[static_cast<size_t>(id_)].valid[r]) {
            buffer_ += "\"id\":";
            AppendValue(buffer_, fields_[static_cast<size_t>(id_)],
                        batch.columns[static_cast<size_t>(id_)], r);
            buffer_ += ',';
        }
        buffer_ += "\"geometry\":";
        if (geometry_ < 0) {
            buffer_ += "null";
        } else {
            const Column& column = batch.columns[static_cast<size_t>(geometry_)];
            if (!column.valid[r] || column.str[r].empty()) {
                buffer_ += "null";
            } else if (!geo::Wkb::AppendGeoJson(column.str[r], buffer_)) {
                throw EngineError("record " + std::to_string(records_) +
                                  " holds no readable geometry in field '" +
                                  fields_[static_cast<size_t>(geometry_)].name + "'");
            }
        }
        buffer_ += ",\"properties\":{";
        bool first = true;
        for (size_t f = 0; f < fields_.size(); ++f) {
            const Column& column = batch.columns[f];
            if (fields_[f].geo) {
                if (column.valid[r]) {
                    bool any = any_[f];
                    geo::Wkb::Extend(column.str[r], bounds_[f].data(), any);
                    any_[f] = any;
                }
                if (static_cast<int>(f) == geometry_)
                    continue;
            }
            if (!first)
                buffer_ += ',';
            first = false;
            buffer_ += names_[f];
            buffer_ += ':';
            AppendValue(buffer_, fields_[f], column, r);
        }
        buffer_ += "}}";
        if (buffer_.size() >= kFlushAt)
            flush();
    }
}

void GeoJsonWriter::flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
        throw EngineError("cannot write " + path_ + ": " + std::strerror(errno));
    buffer_.clear();
}

void GeoJsonWriter::finish() {
    buffer_ += records_ == 0 ? "]}\n" : "\n]}\n";
    flush();
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0)
        throw EngineError("cannot write " + path_ + ": " + std::strerror(errno));
    finished_ = true;
}

std::vector<EngineField> GeoJsonWriter::writtenFields() const {
    std::vector<EngineField> out = fields_;
    for (size_t f = 0; f < out.size(); ++f) {
        if (!out[f].geo)
            continue;
        if (any_[f])
            out[f].geo->envelope =
                GeoEnvelope{bounds_[f][0], bounds_[f][3], bounds_[f][2], bounds_[f][1]};
        else
            out[f].geo->envelope.reset();
    }
    return out;
}

}  // namespace qelocal
