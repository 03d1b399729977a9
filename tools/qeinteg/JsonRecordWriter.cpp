#include "JsonRecordWriter.h"

namespace qecli {

namespace {

void Member(std::ostream& out, const std::string& key, const nlohmann::ordered_json& value) {
    out << "  " << nlohmann::ordered_json(key).dump() << ": "
        << value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

JsonRecordWriter::JsonRecordWriter(std::ostream& out, const Json& head, const std::string& arrayKey)
    : out_(out) {
    out_ << "{\n";
    for (const auto& [key, value] : head.items()) {
        Member(out_, key, value);
        out_ << ",\n";
    }
    out_ << "  " << Json(arrayKey).dump() << ": [";
}

void JsonRecordWriter::Add(const Json& record) {
    out_ << (count_ == 0 ? "\n    " : ",\n    ")
         << record.dump(-1, ' ', false, Json::error_handler_t::replace);
    ++count_;
}

void JsonRecordWriter::Finish(const Json& tail) {
    if (finished_)
        return;
    finished_ = true;
    out_ << (count_ == 0 ? "]" : "\n  ]");
    for (const auto& [key, value] : tail.items()) {
        out_ << ",\n";
        Member(out_, key, value);
    }
    out_ << "\n}\n";
}

}  // namespace qecli
