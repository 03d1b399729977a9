#include "qeinteg/platform/host/scoring/PmmlCore.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace mcpmml {

bool ParseNumber(std::string_view text, double& value, bool booleans) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty())
        return false;
    if (booleans) {
        if (text == "true") {
            value = 1;
            return true;
        }
        if (text == "false") {
            value = 0;
            return true;
        }
    }
    if (text.front() == '+')
        text.remove_prefix(1);
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec == std::errc() && ptr == end)
        return true;
    // from_chars does not read "INF"/"NaN" spellings PMML writers use.
    if (text == "INF" || text == "Infinity" || text == "inf") {
        value = HUGE_VAL;
        return true;
    }
    if (text == "-INF" || text == "-Infinity" || text == "-inf") {
        value = -HUGE_VAL;
        return true;
    }
    return false;
}

std::string FormatNumber(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return std::to_string(static_cast<long long>(value));
    char buffer[32];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? ptr : buffer);
}

Truth CompareCell(Context& ctx, const Cell& value, Predicate::Op op, bool numericConst,
                  double number, std::string_view text) {
    if (value.kind == Cell::Missing)
        return Truth::Unknown;
    int cmp;
    if (value.kind == Cell::Number && numericConst) {
        cmp = value.num < number ? -1 : (value.num > number ? 1 : 0);
    } else if (value.kind == Cell::Text && numericConst && op != Predicate::Eq &&
               op != Predicate::Ne) {
        double parsed;
        if (!ParseNumber(value.text, parsed))
            return Truth::Unknown;
        cmp = parsed < number ? -1 : (parsed > number ? 1 : 0);
    } else {
        std::string_view left = value.text;
        if (value.kind == Cell::Number)
            left = ctx.Keep(FormatNumber(value.num));
        const int c = left.compare(text);
        cmp = c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    bool result = false;
    switch (op) {
        case Predicate::Eq:
            result = cmp == 0;
            break;
        case Predicate::Ne:
            result = cmp != 0;
            break;
        case Predicate::Lt:
            result = cmp < 0;
            break;
        case Predicate::Le:
            result = cmp <= 0;
            break;
        case Predicate::Gt:
            result = cmp > 0;
            break;
        case Predicate::Ge:
            result = cmp >= 0;
            break;
    }
    return result ? Truth::True : Truth::False;
}

Truth Predicate::Eval(Context& ctx) const {
    switch (kind) {
        case AlwaysTrue:
            return Truth::True;
        case AlwaysFalse:
            return Truth::False;
        case Compare: {
            const Cell& v = ctx.Get(slot);
            if (v.kind == Cell::Number && numericConst) {
                bool r;
                switch (op) {
                    case Lt:
                        r = v.num < number;
                        break;
                    case Le:
                        r = v.num <= number;
                        break;
                    case Gt:
                        r = v.num > number;
                        break;
                    case Ge:
                        r = v.num >= number;
                        break;
                    case Eq:
                        r = v.num == number;
                        break;
                    default:
                        r = v.num != number;
                        break;
                }
                return r ? Truth::True : Truth::False;
            }
            return CompareCell(ctx, v, op, numericConst, number, text);
        }
        case IsMissing:
            return ctx.Get(slot).kind == Cell::Missing ? Truth::True : Truth::False;
        case IsNotMissing:
            return ctx.Get(slot).kind == Cell::Missing ? Truth::False : Truth::True;
        case Complex:
            return complex->Eval(ctx);
    }
    return Truth::Unknown;
}

std::string_view Document::Keep(std::string text) {
    constants_.push_back(std::move(text));
    return constants_.back();
}

Context::Context(const Document& doc)
    : doc_(doc),
      cells_(doc.slots.size()),
      stamps_(doc.slots.size(), 0),
      busy_(doc.slots.size(), 0),
      scratch_(static_cast<size_t>(doc.scratchCount)) {}

void Context::Begin() {
    if (++generation_ == 0) {
        // After 2^32 records the stamps could collide with the new generation: clear them.
        std::fill(stamps_.begin(), stamps_.end(), 0);
        generation_ = 1;
    }
    if (!strings_.empty())
        strings_.clear();
}

std::string_view Context::Keep(std::string text) {
    strings_.push_back(std::move(text));
    return strings_.back();
}

const Cell& Context::Compute(int slot) {
    const size_t i = static_cast<size_t>(slot);
    Cell value;
    const Expr* expr = doc_.derived[i].get();
    // A field defined through itself evaluates to missing, and so does a chain of fields too long
    // to follow on the stack.
    if (expr != nullptr && busy_[i] == 0 && depth_ < 1000) {
        busy_[i] = 1;
        ++depth_;
        value = expr->Eval(*this);
        --depth_;
        busy_[i] = 0;
        const DataType type = doc_.slots[i].type;
        if (value.kind == Cell::Text && IsNumeric(type)) {
            double parsed;
            value = ParseNumber(value.text, parsed, type == DataType::Boolean) ? Cell::Num(parsed)
                                                                               : Cell();
        } else if (value.kind == Cell::Number && type == DataType::String) {
            value = Cell::Str(Keep(FormatNumber(value.num)));
        } else if (value.kind == Cell::Number && type == DataType::Integer) {
            value.num = std::trunc(value.num);
        }
    }
    Set(slot, value);
    return cells_[i];
}

int Scope::Find(const std::string& name) const {
    for (const Scope* s = this; s != nullptr; s = s->parent_) {
        auto it = s->names_.find(name);
        if (it != s->names_.end())
            return it->second;
    }
    return -1;
}

int Model::CategoryIndex(std::string_view text) const {
    for (size_t i = 0; i < categories.size(); ++i) {
        if (categories[i] == text)
            return static_cast<int>(i);
    }
    // A numeric target may be written "1" in one place and "1.0" in another.
    double number;
    if (ParseNumber(text, number)) {
        for (size_t i = 0; i < categoryCells.size(); ++i) {
            if (categoryCells[i].kind == Cell::Number && categoryCells[i].num == number)
                return static_cast<int>(i);
        }
    }
    return -1;
}

Cell Model::Predicted(const ModelResult& result) const {
    if (!result.valid)
        return Cell();
    if (!classification)
        return Cell::Num(result.value);
    if (result.category < 0 || result.category >= static_cast<int>(categoryCells.size()))
        return Cell();
    return categoryCells[static_cast<size_t>(result.category)];
}

void Model::Run(Context& ctx, ModelResult& result) const {
    result.valid = false;
    result.category = -1;
    Evaluate(ctx, result);
    if (result.valid && classification && result.category < 0) {
        double best = -1;
        for (size_t i = 0; i < result.probs.size(); ++i) {
            if (result.probs[i] > best) {
                best = result.probs[i];
                result.category = static_cast<int>(i);
            }
        }
        if (result.category < 0)
            result.valid = false;
    }
    if (result.valid && !classification) {
        double v = result.value;
        if (rescaleFactor != 1 || rescaleConstant != 0)
            v = v * rescaleFactor + rescaleConstant;
        if (v < minValue)
            v = minValue;
        else if (v > maxValue)
            v = maxValue;
        switch (cast) {
            case Round:
                v = std::round(v);
                break;
            case Ceiling:
                v = std::ceil(v);
                break;
            case Floor:
                v = std::floor(v);
                break;
            case NoCast:
                break;
        }
        result.value = v;
        result.valid = std::isfinite(v);
    }
    for (const OutputField& out : outputs) {
        Cell cell;
        switch (out.feature) {
            case OutputField::PredictedValue:
                cell = Predicted(result);
                break;
            case OutputField::PredictedDisplayValue: {
                cell = Predicted(result);
                if (cell.kind == Cell::Number)
                    cell = Cell::Str(ctx.Keep(FormatNumber(cell.num)));
                break;
            }
            case OutputField::Probability: {
                if (!result.valid || !classification)
                    break;
                const int k = out.category >= 0 ? out.category : result.category;
                if (k >= 0 && k < static_cast<int>(result.probs.size()))
                    cell = Cell::Num(result.probs[static_cast<size_t>(k)]);
                else if (out.category >= 0)
                    cell = Cell::Num(0);
                break;
            }
            case OutputField::TransformedValue:
                cell = out.expr->Eval(ctx);
                break;
        }
        if (cell.kind == Cell::Text && IsNumeric(out.type)) {
            double parsed;
            cell = ParseNumber(cell.text, parsed, true) ? Cell::Num(parsed) : Cell();
        } else if (cell.kind == Cell::Number && out.type == DataType::String) {
            cell = Cell::Str(ctx.Keep(FormatNumber(cell.num)));
        }
        ctx.Set(out.slot, cell);
    }
}

void ApplyHeader(Model& model, const ModelHeader& header) {
    model.classification = header.classification;
    model.targetName = header.targetName;
    model.targetType = header.targetType;
    model.categories = header.categories;
}

int CategoryIndexOrAdd(Model& model, const std::string& text) {
    for (size_t i = 0; i < model.categories.size(); ++i) {
        if (model.categories[i] == text)
            return static_cast<int>(i);
    }
    double number, other;
    if (ParseNumber(text, number)) {
        for (size_t i = 0; i < model.categories.size(); ++i) {
            if (ParseNumber(model.categories[i], other) && other == number)
                return static_cast<int>(i);
        }
    }
    model.categories.push_back(text);
    return static_cast<int>(model.categories.size()) - 1;
}

bool IsIgnorableElement(const char* name) {
    static const char* const kNames[] = {"Extension",         "ModelStats", "ModelExplanation",
                                         "ModelVerification", "Header",     "MiningBuildTask",
                                         "Partition"};
    for (const char* n : kNames) {
        if (std::string_view(name) == n)
            return true;
    }
    return false;
}

}  // namespace mcpmml
