#include "qeinteg/platform/engine/exec/AggregateOperator.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "qeinteg/platform/engine/exec/KeyHash.h"

namespace qelocal {

using Json = nlohmann::ordered_json;

namespace {

enum class Fn {
    Count,
    CountAll,
    Min,
    Max,
    Sum,
    Mean,
    Sd,
    Variance,
    Percentile,
    First,
    Last,
    Distinct
};

bool FnFromText(const std::string& name, Fn& fn) {
    static const std::pair<const char*, Fn> table[] = {
        {"count", Fn::Count},       {"min", Fn::Min},           {"max", Fn::Max},
        {"sum", Fn::Sum},           {"mean", Fn::Mean},         {"sd", Fn::Sd},
        {"variance", Fn::Variance}, {"median", Fn::Percentile}, {"percentile", Fn::Percentile},
        {"first", Fn::First},       {"last", Fn::Last},         {"countDistinct", Fn::Distinct}};
    for (const auto& [text, value] : table) {
        if (name == text) {
            fn = value;
            return true;
        }
    }
    return false;
}

}  // namespace

struct AggregateOperator::Summary {
    Fn fn = Fn::Count;
    int input = -1;
    bool text = false;  // the input is a string field
    double centile = 50;
    // Per group state.
    std::vector<double> n, a, b;  // count; sum / mean / min / max / first; M2
    std::vector<std::string> s;   // min, max, first, last of texts
    std::vector<std::vector<double>> values;
    std::vector<std::unordered_set<double>> distinctNumbers;
    std::vector<std::unordered_set<std::string>> distinctTexts;

    void addGroup() {
        n.push_back(0);
        a.push_back(0);
        b.push_back(0);
        if (text)
            s.emplace_back();
        if (fn == Fn::Percentile)
            values.emplace_back();
        if (fn == Fn::Distinct) {
            if (text)
                distinctTexts.emplace_back();
            else
                distinctNumbers.emplace_back();
        }
    }

    void update(const Batch& batch, const std::vector<uint32_t>& gid) {
        const size_t rows = batch.rows;
        if (fn == Fn::CountAll) {
            for (size_t i = 0; i < rows; ++i)
                n[gid[i]] += 1;
            return;
        }
        const Column& c = batch.columns[static_cast<size_t>(input)];
        const uint8_t* valid = c.valid.data();
        if (text) {
            for (size_t i = 0; i < rows; ++i) {
                if (!valid[i])
                    continue;
                const uint32_t g = gid[i];
                const std::string& v = c.str[i];
                switch (fn) {
                    case Fn::Count:
                        break;
                    case Fn::Min:
                        if (n[g] == 0 || v < s[g])
                            s[g] = v;
                        break;
                    case Fn::Max:
                        if (n[g] == 0 || v > s[g])
                            s[g] = v;
                        break;
                    case Fn::First:
                        if (n[g] == 0)
                            s[g] = v;
                        break;
                    case Fn::Last:
                        s[g] = v;
                        break;
                    case Fn::Distinct:
                        distinctTexts[g].insert(v);
                        break;
                    default:
                        break;
                }
                n[g] += 1;
            }
            return;
        }
        const double* x = c.num.data();
        double* N = n.data();
        double* A = a.data();
        double* B = b.data();
        switch (fn) {
            case Fn::Count:
                for (size_t i = 0; i < rows; ++i)
                    N[gid[i]] += valid[i];
                break;
            case Fn::Sum:
            case Fn::Mean:
                for (size_t i = 0; i < rows; ++i) {
                    if (valid[i]) {
                        N[gid[i]] += 1;
                        A[gid[i]] += x[i];
                    }
                }
                break;
            case Fn::Min:
            case Fn::Max: {
                const bool isMin = fn == Fn::Min;
                for (size_t i = 0; i < rows; ++i) {
                    if (!valid[i])
                        continue;
                    const uint32_t g = gid[i];
                    if (N[g] == 0 || (isMin ? x[i] < A[g] : x[i] > A[g]))
                        A[g] = x[i];
                    N[g] += 1;
                }
                break;
            }
            case Fn::First:
            case Fn::Last:
                for (size_t i = 0; i < rows; ++i) {
                    if (!valid[i])
                        continue;
                    const uint32_t g = gid[i];
                    if (fn == Fn::Last || N[g] == 0)
                        A[g] = x[i];
                    N[g] += 1;
                }
                break;
            case Fn::Sd:
            case Fn::Variance:
                // Welford: stable for large means.
                for (size_t i = 0; i < rows; ++i) {
                    if (!valid[i])
                        continue;
                    const uint32_t g = gid[i];
                    N[g] += 1;
                    const double d = x[i] - A[g];
                    A[g] += d / N[g];
                    B[g] += d * (x[i] - A[g]);
                }
                break;
            case Fn::Percentile:
                for (size_t i = 0; i < rows; ++i) {
                    if (valid[i])
                        values[gid[i]].push_back(x[i]);
                }
                break;
            case Fn::Distinct:
                for (size_t i = 0; i < rows; ++i) {
                    if (valid[i])
                        distinctNumbers[gid[i]].insert(x[i] == 0 ? 0.0 : x[i]);
                }
                break;
            default:
                break;
        }
    }

    void result(uint32_t g, Column& out) {
        switch (fn) {
            case Fn::Count:
            case Fn::CountAll:
                out.appendNumber(n[g]);
                return;
            case Fn::Distinct:
                out.appendNumber(static_cast<double>(text ? distinctTexts[g].size()
                                                          : distinctNumbers[g].size()));
                return;
            default:
                break;
        }
        if (n[g] == 0 && fn != Fn::Percentile) {
            out.appendMissing();
            return;
        }
        if (text) {
            out.appendText(s[g]);
            return;
        }
        switch (fn) {
            case Fn::Mean:
                out.appendNumber(a[g] / n[g]);
                return;
            case Fn::Variance:
            case Fn::Sd: {
                if (n[g] < 2) {
                    out.appendMissing();  // the sample variance needs two values
                    return;
                }
                const double var = b[g] / (n[g] - 1);
                out.appendNumber(fn == Fn::Sd ? std::sqrt(var) : var);
                return;
            }
            case Fn::Percentile: {
                std::vector<double>& v = values[g];
                if (v.empty()) {
                    out.appendMissing();
                    return;
                }
                // Linear interpolation between the closest ranks.
                const double h = (static_cast<double>(v.size()) - 1) * centile / 100.0;
                const auto lo = static_cast<size_t>(std::floor(h));
                std::nth_element(v.begin(), v.begin() + static_cast<long>(lo), v.end());
                const double low = v[lo];
                double high = low;
                if (lo + 1 < v.size())
                    high = *std::min_element(v.begin() + static_cast<long>(lo) + 1, v.end());
                out.appendNumber(low + (h - std::floor(h)) * (high - low));
                std::vector<double>().swap(v);
                return;
            }
            default:
                out.appendNumber(a[g]);
                return;
        }
    }
};

AggregateOperator::AggregateOperator(std::unique_ptr<BatchStream> input, const Json& config,
                                     const std::string& context, const ExecContext& exec)
    : input_(std::move(input)), exec_(exec), context_(context) {
    if (!config.is_object() || !config.contains("output") || !config["output"].is_array())
        throw EngineError(context + ": the configuration needs an \"output\" array",
                          "BAD_CONFIGURATION");
    const auto& in = input_->fields();
    for (const Json& entry : config["output"]) {
        if (!entry.is_object() || !entry.contains("function") || !entry["function"].is_string())
            throw EngineError(context + ": every output entry needs a \"function\" text",
                              "BAD_CONFIGURATION");
        const std::string function = entry["function"].get<std::string>();
        std::string inputName;
        if (auto it = entry.find("input"); it != entry.end()) {
            if (!it->is_string())
                throw EngineError(context + ": \"input\" must be a text", "BAD_CONFIGURATION");
            inputName = it->get<std::string>();
        }
        int field = -1;
        if (!inputName.empty()) {
            field = FindField(in, inputName);
            if (field < 0)
                throw EngineError(context + ": there is no field '" + inputName + "'",
                                  "UNKNOWN_FIELD");
        }
        std::string outName;
        if (auto it = entry.find("outName"); it != entry.end()) {
            if (!it->is_string())
                throw EngineError(context + ": \"outName\" must be a text", "BAD_CONFIGURATION");
            outName = it->get<std::string>();
        }
        EngineField out;
        if (function == "key") {
            if (field < 0)
                throw EngineError(context + ": a key needs its \"input\" field",
                                  "BAD_CONFIGURATION");
            out = in[static_cast<size_t>(field)];
            out.name = outName.empty() ? inputName : outName;
            outputOrder_.push_back(static_cast<int>(keyInputs_.size()));
            keyInputs_.push_back(static_cast<size_t>(field));
            Column keys;
            keys.storage = out.storage == Storage::Unknown ? Storage::String : out.storage;
            groupKeys_.push_back(std::move(keys));
            fields_.push_back(out);
            continue;
        }
        auto s = std::make_unique<Summary>();
        if (!FnFromText(function, s->fn))
            throw EngineError(context + ": the aggregate function '" + function + "' is not known",
                              "UNKNOWN_AGGREGATE");
        if (field < 0) {
            if (s->fn != Fn::Count)
                throw EngineError(context + ": the aggregate function '" + function +
                                      "' needs an \"input\" field",
                                  "BAD_CONFIGURATION");
            s->fn = Fn::CountAll;
        }
        s->input = field;
        const Storage storage =
            field < 0 ? Storage::Integer : in[static_cast<size_t>(field)].storage;
        s->text = storage == Storage::String || storage == Storage::Unknown;
        const bool numericOnly = s->fn == Fn::Sum || s->fn == Fn::Mean || s->fn == Fn::Sd ||
                                 s->fn == Fn::Variance || s->fn == Fn::Percentile;
        if (numericOnly && (s->text || IsTemporalStorage(storage)))
            throw EngineError(context + ": '" + function + "' needs a numeric field, '" +
                                  inputName + "' is " + StorageText(storage),
                              "EXPRESSION_TYPE_ERROR");
        if (function == "percentile") {
            auto c = entry.find("centile");
            if (c == entry.end() || !c->is_number() || c->get<double>() < 0 ||
                c->get<double>() > 100)
                throw EngineError(context + ": a percentile needs a \"centile\" from 0 to 100",
                                  "BAD_CONFIGURATION");
            s->centile = c->get<double>();
        }
        if (outName.empty())
            outName = field < 0 ? "count" : inputName + "_" + function;
        out.name = outName;
        switch (s->fn) {
            case Fn::Count:
            case Fn::CountAll:
            case Fn::Distinct:
                out.storage = Storage::Integer;
                break;
            case Fn::Min:
            case Fn::Max:
            case Fn::First:
            case Fn::Last:
                out.storage = s->text ? Storage::String : storage;
                break;
            case Fn::Sum:
                out.storage = storage == Storage::Integer ? Storage::Integer : Storage::Real;
                break;
            default:
                out.storage = Storage::Real;
        }
        out.measure = out.storage == Storage::String ? Measure::Nominal : Measure::Continuous;
        outputOrder_.push_back(-static_cast<int>(summaries_.size()) - 1);
        summaries_.push_back(std::move(s));
        fields_.push_back(out);
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (fields_[i].name == fields_[j].name)
                throw EngineError(context + ": two outputs are named '" + fields_[i].name + "'",
                                  "BAD_CONFIGURATION");
        }
    }
    slots_.assign(1024, 0);
}

AggregateOperator::~AggregateOperator() = default;

void AggregateOperator::grow() {
    std::vector<uint32_t> slots(slots_.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (uint32_t g = 0; g < groups_; ++g) {
        size_t p = groupHash_[g] & mask;
        while (slots[p] != 0)
            p = (p + 1) & mask;
        slots[p] = g + 1;
    }
    slots_.swap(slots);
}

uint32_t AggregateOperator::groupOf(const Batch&, const std::vector<const Column*>& keys,
                                    size_t row, uint64_t hash) {
    const size_t mask = slots_.size() - 1;
    size_t p = hash & mask;
    while (true) {
        const uint32_t s = slots_[p];
        if (s == 0)
            break;
        const uint32_t g = s - 1;
        if (groupHash_[g] == hash) {
            bool same = true;
            for (size_t k = 0; k < keys.size() && same; ++k)
                same = SameKey(*keys[k], row, groupKeys_[k], g);
            if (same)
                return g;
        }
        p = (p + 1) & mask;
    }
    const uint32_t g = groups_++;
    slots_[p] = g + 1;
    groupHash_.push_back(hash);
    for (size_t k = 0; k < keys.size(); ++k)
        groupKeys_[k].appendFrom(*keys[k], row);
    for (auto& s : summaries_)
        s->addGroup();
    if (static_cast<size_t>(groups_) * 2 > slots_.size())
        grow();
    return g;
}

void AggregateOperator::consume() {
    Batch batch;
    std::vector<uint64_t> hashes;
    std::vector<uint32_t> gid;
    std::vector<const Column*> keys;
    if (keyInputs_.empty()) {
        groups_ = 1;
        groupHash_.push_back(0);
        for (auto& s : summaries_)
            s->addGroup();
    }
    while (input_->next(batch)) {
        exec_.checkCancel();
        gid.resize(batch.rows);
        if (keyInputs_.empty()) {
            std::fill(gid.begin(), gid.end(), 0);
        } else {
            keys.clear();
            for (size_t k : keyInputs_)
                keys.push_back(&batch.columns[k]);
            HashKeys(keys, batch.rows, hashes);
            for (size_t i = 0; i < batch.rows; ++i)
                gid[i] = groupOf(batch, keys, i, hashes[i]);
        }
        for (auto& s : summaries_)
            s->update(batch, gid);
    }
    consumed_ = true;
}

bool AggregateOperator::next(Batch& out) {
    if (!consumed_)
        consume();
    exec_.checkCancel();
    if (emitted_ >= groups_)
        return false;
    out.reset(fields_);
    const uint32_t end = std::min<uint32_t>(groups_, emitted_ + static_cast<uint32_t>(kBatchRows));
    for (size_t f = 0; f < outputOrder_.size(); ++f) {
        Column& c = out.columns[f];
        c.reserve(end - emitted_);
        const int which = outputOrder_[f];
        if (which >= 0) {
            const Column& keys = groupKeys_[static_cast<size_t>(which)];
            for (uint32_t g = emitted_; g < end; ++g)
                c.appendFrom(keys, g);
        } else {
            Summary& s = *summaries_[static_cast<size_t>(-which - 1)];
            for (uint32_t g = emitted_; g < end; ++g)
                s.result(g, c);
        }
    }
    out.rows = end - emitted_;
    emitted_ = end;
    return true;
}

}  // namespace qelocal
