#include "qeinteg/platform/engine/exec/JoinOperator.h"

#include <algorithm>

#include "qeinteg/platform/engine/exec/KeyHash.h"

namespace qelocal {

using Json = nlohmann::ordered_json;

namespace {

[[noreturn]] void Bad(const std::string& context, const std::string& what) {
    throw EngineError(context + ": " + what, "BAD_CONFIGURATION");
}

}  // namespace

JoinOperator::JoinOperator(std::vector<JoinInput> inputs, const Json& config,
                           const std::string& context, const ExecContext& exec)
    : inputs_(std::move(inputs)), exec_(exec), context_(context) {
    if (inputs_.size() != 2)
        Bad(context, "a join needs exactly two inputs, it has " + std::to_string(inputs_.size()));
    if (!config.is_object())
        Bad(context, "the configuration must be an object");
    auto tagIndex = [&](const std::string& tag) -> int {
        for (size_t i = 0; i < inputs_.size(); ++i) {
            if (inputs_[i].tag == tag)
                return static_cast<int>(i);
        }
        return -1;
    };
    if (auto t = config.find("joinType"); t != config.end()) {
        if (!t->is_string())
            Bad(context, "\"joinType\" must be a text");
        const std::string text = t->get<std::string>();
        if (text == "Inner")
            type_ = Type::Inner;
        else if (text == "Outer")
            type_ = Type::Outer;
        else if (text == "Anti")
            type_ = Type::Anti;
        else if (text == "Cartesian")
            type_ = Type::Cartesian;
        else
            Bad(context, "the join type '" + text + "' is not known");
    }
    const auto& f0 = inputs_[0].stream->fields();
    const auto& f1 = inputs_[1].stream->fields();
    if (type_ != Type::Cartesian) {
        auto m = config.find("matchFields");
        if (m == config.end() || !m->is_array() || m->empty())
            throw EngineError(context +
                                  ": a join without match fields (only a Cartesian join "
                                  "has none)",
                              "BAD_CONFIGURATION");
        for (const Json& pair : *m) {
            if (!pair.is_object())
                Bad(context, "every match entry must be an object {TAG: field, TAG: field}");
            std::string names[2];
            for (auto it = pair.begin(); it != pair.end(); ++it) {
                const int index = tagIndex(it.key());
                if (index < 0)
                    Bad(context, "the match entry names the input '" + it.key() +
                                     "', which the join does not have");
                if (!it->is_string())
                    Bad(context, "a match field must be a text");
                names[index] = it->get<std::string>();
            }
            if (names[0].empty() || names[1].empty())
                Bad(context, "every match entry must name a field of each input");
            const int a = FindField(f0, names[0]);
            const int b = FindField(f1, names[1]);
            if (a < 0 || b < 0)
                throw EngineError(context + ": there is no field '" +
                                      (a < 0 ? names[0] : names[1]) + "' in the input '" +
                                      inputs_[a < 0 ? 0 : 1].tag + "'",
                                  "UNKNOWN_FIELD");
            const bool textA = f0[static_cast<size_t>(a)].storage == Storage::String;
            const bool textB = f1[static_cast<size_t>(b)].storage == Storage::String;
            if (textA != textB)
                throw EngineError(context + ": cannot match the " + (textA ? "text" : "numeric") +
                                      " field '" + names[0] + "' with the " +
                                      (textB ? "text" : "numeric") + " field '" + names[1] + "'",
                                  "EXPRESSION_TYPE_ERROR");
            probeKeys_.push_back(static_cast<size_t>(a));
            buildKeys_.push_back(static_cast<size_t>(b));
        }
    }
    if (type_ == Type::Outer || type_ == Type::Anti) {
        auto n = config.find("nonMatchingSources");
        if (n == config.end()) {
            keepProbeUnmatched_ = keepBuildUnmatched_ = true;
        } else {
            if (!n->is_array())
                Bad(context, "\"nonMatchingSources\" must be an array of input tags");
            for (const Json& tag : *n) {
                const int index = tag.is_string() ? tagIndex(tag.get<std::string>()) : -1;
                if (index < 0)
                    Bad(context, "\"nonMatchingSources\" names an input the join does not have: " +
                                     tag.dump());
                (index == 0 ? keepProbeUnmatched_ : keepBuildUnmatched_) = true;
            }
        }
    }
    // The output layout.
    const Json* outputFields = nullptr;
    if (auto o = config.find("outputFields"); o != config.end()) {
        if (!o->is_object())
            Bad(context, "\"outputFields\" must be an object {TAG: [fields]}");
        if (!o->empty())
            outputFields = &*o;
    }
    for (int side = 0; side < 2; ++side) {
        const auto& in = side == 0 ? f0 : f1;
        std::vector<size_t> chosen;
        if (outputFields != nullptr) {
            auto list = outputFields->find(inputs_[static_cast<size_t>(side)].tag);
            if (list == outputFields->end())
                continue;
            if (!list->is_array())
                Bad(context, "the output fields of an input must be an array");
            for (const Json& name : *list) {
                const int index = name.is_string() ? FindField(in, name.get<std::string>()) : -1;
                if (index < 0)
                    throw EngineError(context + ": there is no field " + name.dump() +
                                          " in the input '" +
                                          inputs_[static_cast<size_t>(side)].tag + "'",
                                      "UNKNOWN_FIELD");
                chosen.push_back(static_cast<size_t>(index));
            }
        } else {
            for (size_t i = 0; i < in.size(); ++i)
                chosen.push_back(i);
        }
        for (size_t index : chosen) {
            EngineField f = in[index];
            if (FindField(fields_, f.name) >= 0)
                f.name += "_" + inputs_[static_cast<size_t>(side)].tag;
            fields_.push_back(f);
            sources_.emplace_back(side, index);
        }
    }
    if (outputFields != nullptr) {
        for (auto it = outputFields->begin(); it != outputFields->end(); ++it) {
            if (tagIndex(it.key()) < 0)
                Bad(context, "\"outputFields\" names the input '" + it.key() +
                                 "', which the join does not have");
        }
    }
    slots_.assign(1024, 0);
}

void JoinOperator::build() {
    BatchStream& in = *inputs_[1].stream;
    build_.clear();
    Batch b;
    b.reset(in.fields());
    build_ = b.columns;
    std::vector<const Column*> keys;
    std::vector<uint64_t> hashes;
    std::vector<int64_t> tail;  // per distinct key (slot value - 1): last row of its chain
    std::vector<uint32_t> headRow;
    while (in.next(b)) {
        exec_.checkCancel();
        for (size_t c = 0; c < b.columns.size(); ++c) {
            Column& dst = build_[c];
            const Column& src = b.columns[c];
            dst.valid.insert(dst.valid.end(), src.valid.begin(), src.valid.end());
            if (dst.isString())
                dst.str.insert(dst.str.end(), src.str.begin(), src.str.end());
            else
                dst.num.insert(dst.num.end(), src.num.begin(), src.num.end());
        }
        keys.clear();
        for (size_t k : buildKeys_)
            keys.push_back(&b.columns[k]);
        HashKeys(keys, b.rows, hashes);
        for (size_t i = 0; i < b.rows; ++i) {
            const auto row = static_cast<int64_t>(buildRows_ + i);
            nextInChain_.push_back(-1);
            buildHash_.push_back(hashes[i]);
            if (type_ == Type::Cartesian) {
                continue;
            }
            bool missing = false;
            for (const Column* k : keys)
                missing |= k->valid[i] == 0;
            if (missing)
                continue;  // never matches
            size_t mask = slots_.size() - 1;
            size_t p = hashes[i] & mask;
            bool found = false;
            while (slots_[p] != 0) {
                const uint32_t head = headRow[slots_[p] - 1];
                if (buildHash_[head] == hashes[i]) {
                    bool same = true;
                    for (size_t k = 0; k < buildKeys_.size() && same; ++k)
                        same = SameKey(build_[buildKeys_[k]], head, build_[buildKeys_[k]],
                                       static_cast<size_t>(row));
                    if (same) {
                        const uint32_t key = slots_[p] - 1;
                        nextInChain_[static_cast<size_t>(tail[key])] = row;
                        tail[key] = row;
                        found = true;
                        break;
                    }
                }
                p = (p + 1) & mask;
            }
            if (found)
                continue;
            headRow.push_back(static_cast<uint32_t>(row));
            tail.push_back(row);
            slots_[p] = static_cast<uint32_t>(headRow.size());
            if (headRow.size() * 2 > slots_.size()) {
                std::vector<uint32_t> slots(slots_.size() * 2, 0);
                mask = slots.size() - 1;
                for (size_t key = 0; key < headRow.size(); ++key) {
                    size_t q = buildHash_[headRow[key]] & mask;
                    while (slots[q] != 0)
                        q = (q + 1) & mask;
                    slots[q] = static_cast<uint32_t>(key + 1);
                }
                slots_.swap(slots);
            }
        }
        buildRows_ += b.rows;
    }
    // Slots now point at chain heads by row.
    for (uint32_t& s : slots_) {
        if (s != 0)
            s = headRow[s - 1] + 1;
    }
    matched_.assign(buildRows_, 0);
    built_ = true;
}

int64_t JoinOperator::findChain(size_t row) {
    if (type_ == Type::Cartesian)
        return buildRows_ > 0 ? 0 : -1;
    for (size_t k : probeKeys_) {
        if (!probe_.columns[k].valid[row])
            return -1;
    }
    const uint64_t h = probeHash_[row];
    const size_t mask = slots_.size() - 1;
    for (size_t p = h & mask; slots_[p] != 0; p = (p + 1) & mask) {
        const uint32_t head = slots_[p] - 1;
        if (buildHash_[head] != h)
            continue;
        bool same = true;
        for (size_t k = 0; k < probeKeys_.size() && same; ++k)
            same = SameKey(probe_.columns[probeKeys_[k]], row, build_[buildKeys_[k]], head);
        if (same)
            return head;
    }
    return -1;
}

void JoinOperator::emit(Batch& out, const Column* /*unused*/, size_t probeRow, int64_t buildRow) {
    for (size_t f = 0; f < sources_.size(); ++f) {
        const auto [side, index] = sources_[f];
        Column& c = out.columns[f];
        if (side == 0) {
            if (probeRow == static_cast<size_t>(-1))
                c.appendMissing();
            else
                c.appendFrom(probe_.columns[index], probeRow);
        } else {
            if (buildRow < 0)
                c.appendMissing();
            else
                c.appendFrom(build_[index], static_cast<size_t>(buildRow));
        }
    }
    ++out.rows;
}

bool JoinOperator::next(Batch& out) {
    if (!built_)
        build();
    exec_.checkCancel();
    out.reset(fields_);
    const bool emitMatches = type_ != Type::Anti;
    size_t work = 0;
    while (out.rows < kBatchRows) {
        if (!probeDone_ && probeRow_ >= probe_.rows) {
            if (!inputs_[0].stream->next(probe_)) {
                probeDone_ = true;
                continue;
            }
            exec_.checkCancel();
            probeRow_ = 0;
            if (probe_.rows == 0)
                continue;
            std::vector<const Column*> keys;
            for (size_t k : probeKeys_)
                keys.push_back(&probe_.columns[k]);
            HashKeys(keys, probe_.rows, probeHash_);
            chain_ = findChain(0);
            rowMatched_ = false;
        }
        if (probeDone_) {
            if (!keepBuildUnmatched_)
                break;
            while (unmatchedRow_ < buildRows_ && out.rows < kBatchRows) {
                if (!matched_[unmatchedRow_])
                    emit(out, nullptr, static_cast<size_t>(-1),
                         static_cast<int64_t>(unmatchedRow_));
                ++unmatchedRow_;
            }
            break;
        }
        if (chain_ >= 0) {
            rowMatched_ = true;
            matched_[static_cast<size_t>(chain_)] = 1;
            if (emitMatches)
                emit(out, nullptr, probeRow_, chain_);
            chain_ = type_ == Type::Cartesian
                         ? (static_cast<size_t>(chain_) + 1 < buildRows_ ? chain_ + 1 : -1)
                         : nextInChain_[static_cast<size_t>(chain_)];
            if (!emitMatches && !keepBuildUnmatched_)
                chain_ = -1;  // an anti join only needs to know that a match exists
            // A Cartesian product can be huge: look at the cancel request now and then.
            if ((++work & 0xFFFF) == 0)
                exec_.checkCancel();
            continue;
        }
        if (!rowMatched_ && keepProbeUnmatched_)
            emit(out, nullptr, probeRow_, -1);
        ++probeRow_;
        if (probeRow_ < probe_.rows) {
            chain_ = findChain(probeRow_);
            rowMatched_ = false;
        }
    }
    return out.rows > 0;
}

}  // namespace qelocal
