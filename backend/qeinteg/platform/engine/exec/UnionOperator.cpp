#include "qeinteg/platform/engine/exec/UnionOperator.h"

#include <cctype>

#include "qeinteg/platform/engine/exec/RecordOperators.h"

namespace qelocal {

using Json = nlohmann::ordered_json;

namespace {

std::string Folded(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

UnionOperator::UnionOperator(std::vector<JoinInput> inputs, const Json& config,
                             const std::string& context)
    : inputs_(std::move(inputs)) {
    if (inputs_.empty())
        throw EngineError(context + ": a union needs inputs", "BAD_CONFIGURATION");
    bool byPosition = false;
    bool matchCase = false;
    if (!config.is_null()) {
        if (!config.is_object())
            throw EngineError(context + ": the configuration must be an object",
                              "BAD_CONFIGURATION");
        for (const char* key : {"matchByPosition", "matchCase"}) {
            if (auto it = config.find(key); it != config.end()) {
                if (!it->is_boolean())
                    throw EngineError(context + ": \"" + key + "\" must be true or false",
                                      "BAD_CONFIGURATION");
                (key[5] == 'B' ? byPosition : matchCase) = it->get<bool>();
            }
        }
    }
    mapping_.resize(inputs_.size());
    for (size_t i = 0; i < inputs_.size(); ++i) {
        const auto& in = inputs_[i].stream->fields();
        for (size_t f = 0; f < in.size(); ++f) {
            int target = -1;
            if (byPosition) {
                target = f < fields_.size() ? static_cast<int>(f) : -1;
            } else {
                for (size_t o = 0; o < fields_.size() && target < 0; ++o) {
                    if (matchCase ? fields_[o].name == in[f].name
                                  : Folded(fields_[o].name) == Folded(in[f].name))
                        target = static_cast<int>(o);
                }
            }
            if (target < 0) {
                fields_.push_back(in[f]);
                target = static_cast<int>(fields_.size() - 1);
            } else {
                EngineField& out = fields_[static_cast<size_t>(target)];
                const Storage a = out.storage, b = in[f].storage;
                if (a != b) {
                    const bool numbers = (a == Storage::Integer || a == Storage::Real) &&
                                         (b == Storage::Integer || b == Storage::Real);
                    if (!numbers)
                        throw EngineError(context + ": the field '" + out.name + "' is " +
                                              StorageText(a) + " in one input and " +
                                              StorageText(b) + " in the input '" + inputs_[i].tag +
                                              "'",
                                          "EXPRESSION_TYPE_ERROR");
                    out.storage = Storage::Real;
                }
            }
            for (auto& m : mapping_)
                m.resize(fields_.size(), -1);
            mapping_[i][static_cast<size_t>(target)] = static_cast<int>(f);
        }
    }
    for (auto& m : mapping_)
        m.resize(fields_.size(), -1);
}

bool UnionOperator::next(Batch& out) {
    while (current_ < inputs_.size()) {
        if (!inputs_[current_].stream->next(in_)) {
            ++current_;
            continue;
        }
        out.reset(fields_);
        out.rows = in_.rows;
        const std::vector<int>& map = mapping_[current_];
        for (size_t o = 0; o < fields_.size(); ++o) {
            Column& c = out.columns[o];
            if (map[o] < 0) {
                for (size_t r = 0; r < in_.rows; ++r)
                    c.appendMissing();
                continue;
            }
            Column& src = in_.columns[static_cast<size_t>(map[o])];
            if (src.storage != c.storage)
                ConvertColumn(src, c.storage);
            c = std::move(src);
        }
        return true;
    }
    return false;
}

}  // namespace qelocal
