// Expressions (derived fields) and predicates: compilation and evaluation.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "qeinteg/platform/host/scoring/PmmlCore.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace mcpmml {

namespace {

bool Is(const pugi::xml_node& node, const char* name) {
    return std::strcmp(node.name(), name) == 0;
}

// Truth of a cell used as a condition: numbers are true when not zero.
Truth CellTruth(const Cell& c) {
    if (c.kind == Cell::Missing)
        return Truth::Unknown;
    if (c.kind == Cell::Number)
        return c.num != 0 ? Truth::True : Truth::False;
    if (c.text == "true")
        return Truth::True;
    if (c.text == "false")
        return Truth::False;
    double v;
    if (ParseNumber(c.text, v))
        return v != 0 ? Truth::True : Truth::False;
    return Truth::Unknown;
}

Cell Bool(bool b) {
    return Cell::Num(b ? 1 : 0);
}

class ConstantExpr final : public Expr {
  public:
    explicit ConstantExpr(Cell value) : value_(value) {}
    Cell Eval(Context&) const override { return value_; }

  private:
    Cell value_;
};

class FieldRefExpr final : public Expr {
  public:
    FieldRefExpr(int slot, Cell mapMissingTo) : slot_(slot), mapMissingTo_(mapMissingTo) {}
    Cell Eval(Context& ctx) const override {
        const Cell& v = ctx.Get(slot_);
        return v.kind == Cell::Missing ? mapMissingTo_ : v;
    }

  private:
    int slot_;
    Cell mapMissingTo_;
};

class NormContinuousExpr final : public Expr {
  public:
    enum Outliers { AsIs, AsMissing, AsExtreme };
    NormContinuousExpr(int slot, std::vector<std::pair<double, double>> points, Outliers outliers,
                       Cell mapMissingTo)
        : slot_(slot),
          points_(std::move(points)),
          outliers_(outliers),
          mapMissingTo_(mapMissingTo) {}

    Cell Eval(Context& ctx) const override {
        const Cell& v = ctx.Get(slot_);
        if (v.kind != Cell::Number)
            return mapMissingTo_;
        const double x = v.num;
        const auto& p = points_;
        const size_t n = p.size();
        if (x < p.front().first || x > p.back().first) {
            if (outliers_ == AsMissing)
                return Cell();
            if (outliers_ == AsExtreme)
                return Cell::Num(x < p.front().first ? p.front().second : p.back().second);
        }
        size_t i = 1;
        while (i < n - 1 && x > p[i].first)
            ++i;
        const auto& a = p[i - 1];
        const auto& b = p[i];
        return Cell::Num(a.second + (x - a.first) / (b.first - a.first) * (b.second - a.second));
    }

  private:
    int slot_;
    std::vector<std::pair<double, double>> points_;
    Outliers outliers_;
    Cell mapMissingTo_;
};

class NormDiscreteExpr final : public Expr {
  public:
    NormDiscreteExpr(int slot, bool numeric, double number, std::string_view text, Cell mapMissing)
        : slot_(slot), numeric_(numeric), number_(number), text_(text), mapMissingTo_(mapMissing) {}
    Cell Eval(Context& ctx) const override {
        const Cell& v = ctx.Get(slot_);
        if (v.kind == Cell::Missing)
            return mapMissingTo_;
        return Bool(CompareCell(ctx, v, Predicate::Eq, numeric_, number_, text_) == Truth::True);
    }

  private:
    int slot_;
    bool numeric_;
    double number_;
    std::string_view text_;
    Cell mapMissingTo_;
};

struct Interval {
    double left = -HUGE_VAL;
    double right = HUGE_VAL;
    bool leftClosed = false;
    bool rightClosed = false;
    bool Contains(double x) const {
        return (leftClosed ? x >= left : x > left) && (rightClosed ? x <= right : x < right);
    }
};

class DiscretizeExpr final : public Expr {
  public:
    DiscretizeExpr(int slot, std::vector<std::pair<Interval, Cell>> bins, Cell mapMissingTo,
                   Cell defaultValue)
        : slot_(slot),
          bins_(std::move(bins)),
          mapMissingTo_(mapMissingTo),
          default_(defaultValue) {}
    Cell Eval(Context& ctx) const override {
        const Cell& v = ctx.Get(slot_);
        if (v.kind != Cell::Number)
            return mapMissingTo_;
        for (const auto& [interval, value] : bins_) {
            if (interval.Contains(v.num))
                return value;
        }
        return default_;
    }

  private:
    int slot_;
    std::vector<std::pair<Interval, Cell>> bins_;
    Cell mapMissingTo_;
    Cell default_;
};

class MapValuesExpr final : public Expr {
  public:
    struct Key {
        bool numeric;
        double number;
        std::string_view text;
    };
    MapValuesExpr(std::vector<int> slots, std::vector<std::vector<Key>> rows,
                  std::vector<Cell> outputs, Cell mapMissingTo, Cell defaultValue)
        : slots_(std::move(slots)),
          rows_(std::move(rows)),
          outputs_(std::move(outputs)),
          mapMissingTo_(mapMissingTo),
          default_(defaultValue) {}
    Cell Eval(Context& ctx) const override {
        for (int slot : slots_) {
            if (ctx.Get(slot).kind == Cell::Missing)
                return mapMissingTo_;
        }
        for (size_t r = 0; r < rows_.size(); ++r) {
            bool match = true;
            for (size_t k = 0; k < slots_.size() && match; ++k) {
                const Key& key = rows_[r][k];
                match = CompareCell(ctx, ctx.Get(slots_[k]), Predicate::Eq, key.numeric, key.number,
                                    key.text) == Truth::True;
            }
            if (match)
                return outputs_[r];
        }
        return default_;
    }

  private:
    std::vector<int> slots_;
    std::vector<std::vector<Key>> rows_;
    std::vector<Cell> outputs_;
    Cell mapMissingTo_;
    Cell default_;
};

// The built-in functions of Apply.
enum class Fn {
    Add,
    Sub,
    Mul,
    Div,
    Min,
    Max,
    Sum,
    Avg,
    Median,
    Product,
    Log10,
    Ln,
    Sqrt,
    Abs,
    Exp,
    Pow,
    Threshold,
    Floor,
    Ceil,
    Round,
    Modulo,
    IsMissing,
    IsNotMissing,
    Equal,
    NotEqual,
    LessThan,
    LessOrEqual,
    GreaterThan,
    GreaterOrEqual,
    And,
    Or,
    Not,
    IsIn,
    IsNotIn,
    If,
    Uppercase,
    Lowercase,
    Substring,
    TrimBlanks,
    Concat,
    StringLength,
    Expm1,
    Log1p,
    Sin,
    Cos,
    Tan,
    Atan,
    Tanh,
    Hypot,
    Erf,
    NormalCDF
};

struct FnInfo {
    const char* name;
    Fn fn;
    int minArgs;
    int maxArgs;  // -1: any number
};

const FnInfo kFunctions[] = {
    {"+", Fn::Add, 2, 2},
    {"-", Fn::Sub, 2, 2},
    {"*", Fn::Mul, 2, 2},
    {"/", Fn::Div, 2, 2},
    {"min", Fn::Min, 1, -1},
    {"max", Fn::Max, 1, -1},
    {"sum", Fn::Sum, 1, -1},
    {"avg", Fn::Avg, 1, -1},
    {"median", Fn::Median, 1, -1},
    {"product", Fn::Product, 1, -1},
    {"log10", Fn::Log10, 1, 1},
    {"ln", Fn::Ln, 1, 1},
    {"sqrt", Fn::Sqrt, 1, 1},
    {"abs", Fn::Abs, 1, 1},
    {"exp", Fn::Exp, 1, 1},
    {"pow", Fn::Pow, 2, 2},
    {"threshold", Fn::Threshold, 2, 2},
    {"floor", Fn::Floor, 1, 1},
    {"ceil", Fn::Ceil, 1, 1},
    {"round", Fn::Round, 1, 1},
    {"modulo", Fn::Modulo, 2, 2},
    {"isMissing", Fn::IsMissing, 1, 1},
    {"isNotMissing", Fn::IsNotMissing, 1, 1},
    {"equal", Fn::Equal, 2, 2},
    {"notEqual", Fn::NotEqual, 2, 2},
    {"lessThan", Fn::LessThan, 2, 2},
    {"lessOrEqual", Fn::LessOrEqual, 2, 2},
    {"greaterThan", Fn::GreaterThan, 2, 2},
    {"greaterOrEqual", Fn::GreaterOrEqual, 2, 2},
    {"and", Fn::And, 2, -1},
    {"or", Fn::Or, 2, -1},
    {"not", Fn::Not, 1, 1},
    {"isIn", Fn::IsIn, 2, -1},
    {"isNotIn", Fn::IsNotIn, 2, -1},
    {"if", Fn::If, 2, 3},
    {"uppercase", Fn::Uppercase, 1, 1},
    {"lowercase", Fn::Lowercase, 1, 1},
    {"substring", Fn::Substring, 3, 3},
    {"trimBlanks", Fn::TrimBlanks, 1, 1},
    {"concat", Fn::Concat, 1, -1},
    {"stringLength", Fn::StringLength, 1, 1},
    {"expm1", Fn::Expm1, 1, 1},
    {"log1p", Fn::Log1p, 1, 1},
    {"sin", Fn::Sin, 1, 1},
    {"cos", Fn::Cos, 1, 1},
    {"tan", Fn::Tan, 1, 1},
    {"atan", Fn::Atan, 1, 1},
    {"tanh", Fn::Tanh, 1, 1},
    {"hypot", Fn::Hypot, 2, 2},
    {"erf", Fn::Erf, 1, 1},
    {"stdNormalCDF", Fn::NormalCDF, 1, 1},
};

std::string_view TextOf(Context& ctx, const Cell& c) {
    return c.kind == Cell::Text ? c.text : ctx.Keep(FormatNumber(c.num));
}

class ApplyExpr final : public Expr {
  public:
    ApplyExpr(Fn fn, std::vector<std::unique_ptr<Expr>> args, Cell mapMissingTo, Cell defaultValue)
        : fn_(fn), args_(std::move(args)), mapMissingTo_(mapMissingTo), default_(defaultValue) {}

    Cell Eval(Context& ctx) const override {
        // Functions that look at missing values themselves.
        switch (fn_) {
            case Fn::IsMissing:
                return Bool(args_[0]->Eval(ctx).kind == Cell::Missing);
            case Fn::IsNotMissing:
                return Bool(args_[0]->Eval(ctx).kind != Cell::Missing);
            case Fn::If: {
                const Truth t = CellTruth(args_[0]->Eval(ctx));
                if (t == Truth::Unknown)
                    return mapMissingTo_;
                if (t == Truth::True)
                    return args_[1]->Eval(ctx);
                return args_.size() > 2 ? args_[2]->Eval(ctx) : mapMissingTo_;
            }
            default:
                break;
        }
        Cell small[4];
        std::vector<Cell> large;
        Cell* v = small;
        if (args_.size() > 4) {
            large.resize(args_.size());
            v = large.data();
        }
        const size_t n = args_.size();
        for (size_t i = 0; i < n; ++i) {
            v[i] = args_[i]->Eval(ctx);
            if (v[i].kind == Cell::Missing)
                return mapMissingTo_;
        }
        const Cell result = Compute(ctx, v, n);
        if (result.kind == Cell::Number && !std::isfinite(result.num))
            return default_;
        if (result.kind == Cell::Missing)
            return default_;
        return result;
    }

  private:
    static bool Num(const Cell& c, double& x) {
        if (c.kind == Cell::Number) {
            x = c.num;
            return true;
        }
        return ParseNumber(c.text, x, true);
    }

    Cell Compute(Context& ctx, const Cell* v, size_t n) const {
        double a = 0, b = 0;
        switch (fn_) {
            case Fn::Equal:
            case Fn::NotEqual:
            case Fn::LessThan:
            case Fn::LessOrEqual:
            case Fn::GreaterThan:
            case Fn::GreaterOrEqual: {
                static const Predicate::Op ops[] = {Predicate::Eq, Predicate::Ne, Predicate::Lt,
                                                    Predicate::Le, Predicate::Gt, Predicate::Ge};
                const Predicate::Op op = ops[static_cast<int>(fn_) - static_cast<int>(Fn::Equal)];
                const bool numeric = Num(v[1], b) && v[0].kind == Cell::Number;
                return Bool(CompareCell(ctx, v[0], op, numeric, b, TextOf(ctx, v[1])) ==
                            Truth::True);
            }
            case Fn::IsIn:
            case Fn::IsNotIn: {
                bool found = false;
                for (size_t i = 1; i < n && !found; ++i) {
                    const bool numeric = Num(v[i], b) && v[0].kind == Cell::Number;
                    found = CompareCell(ctx, v[0], Predicate::Eq, numeric, b, TextOf(ctx, v[i])) ==
                            Truth::True;
                }
                return Bool(fn_ == Fn::IsIn ? found : !found);
            }
            case Fn::And:
            case Fn::Or: {
                bool acc = fn_ == Fn::And;
                for (size_t i = 0; i < n; ++i) {
                    const Truth t = CellTruth(v[i]);
                    if (t == Truth::Unknown)
                        return Cell();
                    acc = fn_ == Fn::And ? (acc && t == Truth::True) : (acc || t == Truth::True);
                }
                return Bool(acc);
            }
            case Fn::Not: {
                const Truth t = CellTruth(v[0]);
                return t == Truth::Unknown ? Cell() : Bool(t == Truth::False);
            }
            case Fn::Uppercase:
            case Fn::Lowercase: {
                std::string s(TextOf(ctx, v[0]));
                for (char& ch : s) {
                    if (fn_ == Fn::Uppercase && ch >= 'a' && ch <= 'z')
                        ch = static_cast<char>(ch - 'a' + 'A');
                    else if (fn_ == Fn::Lowercase && ch >= 'A' && ch <= 'Z')
                        ch = static_cast<char>(ch - 'A' + 'a');
                }
                return Cell::Str(ctx.Keep(std::move(s)));
            }
            case Fn::Substring: {
                const std::string_view s = TextOf(ctx, v[0]);
                double start, length;
                if (!Num(v[1], start) || !Num(v[2], length) || start < 1 || length < 0)
                    return Cell();
                const size_t from = std::min(s.size(), static_cast<size_t>(start) - 1);
                return Cell::Str(s.substr(from, static_cast<size_t>(length)));
            }
            case Fn::TrimBlanks: {
                std::string_view s = TextOf(ctx, v[0]);
                while (!s.empty() && s.front() == ' ')
                    s.remove_prefix(1);
                while (!s.empty() && s.back() == ' ')
                    s.remove_suffix(1);
                return Cell::Str(s);
            }
            case Fn::Concat: {
                std::string s;
                for (size_t i = 0; i < n; ++i)
                    s += TextOf(ctx, v[i]);
                return Cell::Str(ctx.Keep(std::move(s)));
            }
            case Fn::StringLength:
                return Cell::Num(static_cast<double>(TextOf(ctx, v[0]).size()));
            default:
                break;
        }
        // Numeric functions.
        double x[4];
        std::vector<double> many;
        double* xs = x;
        if (n > 4) {
            many.resize(n);
            xs = many.data();
        }
        for (size_t i = 0; i < n; ++i) {
            if (!Num(v[i], xs[i]))
                return Cell();
        }
        a = xs[0];
        b = n > 1 ? xs[1] : 0;
        switch (fn_) {
            case Fn::Add:
                return Cell::Num(a + b);
            case Fn::Sub:
                return Cell::Num(a - b);
            case Fn::Mul:
                return Cell::Num(a * b);
            case Fn::Div:
                return b == 0 ? Cell() : Cell::Num(a / b);
            case Fn::Min:
                return Cell::Num(*std::min_element(xs, xs + n));
            case Fn::Max:
                return Cell::Num(*std::max_element(xs, xs + n));
            case Fn::Sum:
            case Fn::Avg: {
                double s = 0;
                for (size_t i = 0; i < n; ++i)
                    s += xs[i];
                return Cell::Num(fn_ == Fn::Sum ? s : s / static_cast<double>(n));
            }
            case Fn::Product: {
                double p = 1;
                for (size_t i = 0; i < n; ++i)
                    p *= xs[i];
                return Cell::Num(p);
            }
            case Fn::Median: {
                std::sort(xs, xs + n);
                return Cell::Num(n % 2 == 1 ? xs[n / 2] : (xs[n / 2 - 1] + xs[n / 2]) / 2);
            }
            case Fn::Log10:
                return a <= 0 ? Cell() : Cell::Num(std::log10(a));
            case Fn::Ln:
                return a <= 0 ? Cell() : Cell::Num(std::log(a));
            case Fn::Sqrt:
                return a < 0 ? Cell() : Cell::Num(std::sqrt(a));
            case Fn::Abs:
                return Cell::Num(std::fabs(a));
            case Fn::Exp:
                return Cell::Num(std::exp(a));
            case Fn::Pow:
                return Cell::Num(std::pow(a, b));
            case Fn::Threshold:
                return Cell::Num(a > b ? 1 : 0);
            case Fn::Floor:
                return Cell::Num(std::floor(a));
            case Fn::Ceil:
                return Cell::Num(std::ceil(a));
            case Fn::Round:
                return Cell::Num(std::round(a));
            case Fn::Modulo:
                return b == 0 ? Cell() : Cell::Num(a - std::floor(a / b) * b);
            case Fn::Expm1:
                return Cell::Num(std::expm1(a));
            case Fn::Log1p:
                return a <= -1 ? Cell() : Cell::Num(std::log1p(a));
            case Fn::Sin:
                return Cell::Num(std::sin(a));
            case Fn::Cos:
                return Cell::Num(std::cos(a));
            case Fn::Tan:
                return Cell::Num(std::tan(a));
            case Fn::Atan:
                return Cell::Num(std::atan(a));
            case Fn::Tanh:
                return Cell::Num(std::tanh(a));
            case Fn::Hypot:
                return Cell::Num(std::hypot(a, b));
            case Fn::Erf:
                return Cell::Num(std::erf(a));
            case Fn::NormalCDF:
                return Cell::Num(0.5 * std::erfc(-a / std::sqrt(2.0)));
            default:
                return Cell();
        }
    }

    Fn fn_;
    std::vector<std::unique_ptr<Expr>> args_;
    Cell mapMissingTo_;
    Cell default_;
};

class SetPredicate final : public PredicateNode {
  public:
    SetPredicate(int slot, bool isIn, std::vector<double> numbers,
                 std::vector<std::string_view> texts)
        : slot_(slot), isIn_(isIn), numbers_(std::move(numbers)), texts_(std::move(texts)) {}
    Truth Eval(Context& ctx) const override {
        const Cell& v = ctx.Get(slot_);
        if (v.kind == Cell::Missing)
            return Truth::Unknown;
        bool found = false;
        if (v.kind == Cell::Number && !numbers_.empty()) {
            found = std::find(numbers_.begin(), numbers_.end(), v.num) != numbers_.end();
        } else {
            const std::string_view t = TextOf(ctx, v);
            found = std::find(texts_.begin(), texts_.end(), t) != texts_.end();
        }
        return found == isIn_ ? Truth::True : Truth::False;
    }

  private:
    int slot_;
    bool isIn_;
    std::vector<double> numbers_;  // empty unless every element is a number
    std::vector<std::string_view> texts_;
};

class CompoundPredicate final : public PredicateNode {
  public:
    enum Op { And, Or, Xor, Surrogate };
    CompoundPredicate(Op op, std::vector<Predicate> parts) : op_(op), parts_(std::move(parts)) {}
    Truth Eval(Context& ctx) const override {
        switch (op_) {
            case And: {
                Truth r = Truth::True;
                for (const Predicate& p : parts_) {
                    const Truth t = p.Eval(ctx);
                    if (t == Truth::False)
                        return Truth::False;
                    if (t == Truth::Unknown)
                        r = Truth::Unknown;
                }
                return r;
            }
            case Or: {
                Truth r = Truth::False;
                for (const Predicate& p : parts_) {
                    const Truth t = p.Eval(ctx);
                    if (t == Truth::True)
                        return Truth::True;
                    if (t == Truth::Unknown)
                        r = Truth::Unknown;
                }
                return r;
            }
            case Xor: {
                bool r = false;
                for (const Predicate& p : parts_) {
                    const Truth t = p.Eval(ctx);
                    if (t == Truth::Unknown)
                        return Truth::Unknown;
                    r = r != (t == Truth::True);
                }
                return r ? Truth::True : Truth::False;
            }
            case Surrogate:
                for (const Predicate& p : parts_) {
                    const Truth t = p.Eval(ctx);
                    if (t != Truth::Unknown)
                        return t;
                }
                return Truth::Unknown;
        }
        return Truth::Unknown;
    }

  private:
    Op op_;
    std::vector<Predicate> parts_;
};

// The tokens of a PMML Array: blank-separated, double quotes around tokens with blanks and \" for
// a quote inside them.
std::vector<std::string> ArrayTokens(const std::string& text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size())
            break;
        std::string token;
        if (text[i] == '"') {
            ++i;
            while (i < text.size() && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"')
                    ++i;
                token += text[i++];
            }
            ++i;
        } else {
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
                token += text[i++];
        }
        out.push_back(std::move(token));
    }
    return out;
}

}  // namespace

bool Compiler::IsExpressionElement(const char* name) {
    static const char* const kNames[] = {
        "Constant",  "FieldRef", "NormContinuous", "NormDiscrete", "Discretize",
        "MapValues", "Apply",    "TextIndex",      "Aggregate",    "Lag"};
    for (const char* n : kNames) {
        if (std::strcmp(name, n) == 0)
            return true;
    }
    return false;
}

bool Compiler::IsPredicateElement(const char* name) {
    return std::strcmp(name, "SimplePredicate") == 0 ||
           std::strcmp(name, "CompoundPredicate") == 0 ||
           std::strcmp(name, "SimpleSetPredicate") == 0 || std::strcmp(name, "True") == 0 ||
           std::strcmp(name, "False") == 0;
}

Cell Compiler::Constant(const std::string& text, DataType type) {
    if (IsNumeric(type)) {
        double v;
        if (ParseNumber(text, v, type == DataType::Boolean))
            return Cell::Num(v);
        return Cell();
    }
    return Cell::Str(doc_.Keep(text));
}

std::unique_ptr<Expr> Compiler::CompileExpr(const pugi::xml_node& node, const Scope& scope) {
    const std::string name = node.name();
    // mapMissingTo and defaultValue take the type of the result; numbers when they read as such.
    auto optional = [&](const char* attr) {
        const pugi::xml_attribute a = node.attribute(attr);
        if (!a)
            return Cell();
        double v;
        if (ParseNumber(a.value(), v))
            return Cell::Num(v);
        return Cell::Str(doc_.Keep(a.value()));
    };
    if (name == "Constant") {
        if (node.attribute("missing").as_bool())
            return std::make_unique<ConstantExpr>(Cell());
        const std::string text = node.text().get();
        bool ok = true;
        DataType type = node.attribute("dataType")
                            ? ParseDataType(node.attribute("dataType").value(), ok)
                            : DataType::String;
        if (!ok) {
            Fail(std::string("unsupported dataType '") + node.attribute("dataType").value() +
                 "' in Constant");
            return nullptr;
        }
        double v;
        if (!node.attribute("dataType") && ParseNumber(text, v))
            type = DataType::Double;
        return std::make_unique<ConstantExpr>(Constant(text, type));
    }
    if (name == "FieldRef") {
        const int slot = Resolve(scope, node.attribute("field").value(), "FieldRef");
        if (slot < 0)
            return nullptr;
        return std::make_unique<FieldRefExpr>(slot, optional("mapMissingTo"));
    }
    if (name == "NormContinuous") {
        const int slot = Resolve(scope, node.attribute("field").value(), "NormContinuous");
        if (slot < 0)
            return nullptr;
        std::vector<std::pair<double, double>> points;
        for (pugi::xml_node p : node.children("LinearNorm"))
            points.emplace_back(p.attribute("orig").as_double(), p.attribute("norm").as_double());
        std::sort(points.begin(), points.end());
        if (points.size() < 2) {
            Fail("NormContinuous of '" + std::string(node.attribute("field").value()) +
                 "' needs at least two LinearNorm elements");
            return nullptr;
        }
        const std::string outliers = node.attribute("outliers").as_string("asIs");
        NormContinuousExpr::Outliers o = NormContinuousExpr::AsIs;
        if (outliers == "asMissingValues")
            o = NormContinuousExpr::AsMissing;
        else if (outliers == "asExtremeValues")
            o = NormContinuousExpr::AsExtreme;
        else if (outliers != "asIs") {
            Fail("unsupported outliers treatment '" + outliers + "' in NormContinuous");
            return nullptr;
        }
        return std::make_unique<NormContinuousExpr>(slot, std::move(points), o,
                                                    optional("mapMissingTo"));
    }
    if (name == "NormDiscrete") {
        const int slot = Resolve(scope, node.attribute("field").value(), "NormDiscrete");
        if (slot < 0)
            return nullptr;
        const std::string value = node.attribute("value").value();
        double v = 0;
        const bool numeric = ParseNumber(value, v, true);
        return std::make_unique<NormDiscreteExpr>(slot, numeric, v, doc_.Keep(value),
                                                  optional("mapMissingTo"));
    }
    if (name == "Discretize") {
        const int slot = Resolve(scope, node.attribute("field").value(), "Discretize");
        if (slot < 0)
            return nullptr;
        bool ok = true;
        const DataType type = node.attribute("dataType")
                                  ? ParseDataType(node.attribute("dataType").value(), ok)
                                  : DataType::String;
        std::vector<std::pair<Interval, Cell>> bins;
        for (pugi::xml_node bin : node.children("DiscretizeBin")) {
            const pugi::xml_node in = bin.child("Interval");
            Interval interval;
            if (in.attribute("leftMargin"))
                interval.left = in.attribute("leftMargin").as_double();
            if (in.attribute("rightMargin"))
                interval.right = in.attribute("rightMargin").as_double();
            const std::string closure = in.attribute("closure").value();
            interval.leftClosed = closure.rfind("closed", 0) == 0;
            interval.rightClosed =
                closure.size() > 6 && closure.substr(closure.size() - 6) == "Closed";
            bins.emplace_back(interval, Constant(bin.attribute("binValue").value(), type));
        }
        auto missing = node.attribute("mapMissingTo")
                           ? Constant(node.attribute("mapMissingTo").value(), type)
                           : Cell();
        auto fallback = node.attribute("defaultValue")
                            ? Constant(node.attribute("defaultValue").value(), type)
                            : Cell();
        return std::make_unique<DiscretizeExpr>(slot, std::move(bins), missing, fallback);
    }
    if (name == "MapValues") {
        bool ok = true;
        const DataType type = node.attribute("dataType")
                                  ? ParseDataType(node.attribute("dataType").value(), ok)
                                  : DataType::String;
        const std::string outputColumn = node.attribute("outputColumn").value();
        std::vector<int> slots;
        std::vector<std::string> columns;
        for (pugi::xml_node pair : node.children("FieldColumnPair")) {
            const int slot = Resolve(scope, pair.attribute("field").value(), "FieldColumnPair");
            if (slot < 0)
                return nullptr;
            slots.push_back(slot);
            columns.push_back(pair.attribute("column").value());
        }
        const pugi::xml_node table = node.child("InlineTable");
        if (!table) {
            Fail(node.child("TableLocator") ? "unsupported element 'TableLocator' in MapValues"
                                            : "MapValues without an InlineTable");
            return nullptr;
        }
        std::vector<std::vector<MapValuesExpr::Key>> rows;
        std::vector<Cell> outputs;
        for (pugi::xml_node row : table.children("row")) {
            std::vector<MapValuesExpr::Key> keys;
            for (const std::string& column : columns) {
                // Columns are child elements, possibly with a namespace prefix ("data:input").
                std::string text;
                bool found = false;
                for (pugi::xml_node cell : row.children()) {
                    std::string n = cell.name();
                    const size_t colon = n.find(':');
                    if (colon != std::string::npos)
                        n = n.substr(colon + 1);
                    if (n == column) {
                        text = cell.text().get();
                        found = true;
                        break;
                    }
                }
                if (!found)
                    break;
                MapValuesExpr::Key key;
                key.numeric = ParseNumber(text, key.number, true);
                key.text = doc_.Keep(text);
                keys.push_back(key);
            }
            pugi::xml_node out;
            for (pugi::xml_node cell : row.children()) {
                std::string n = cell.name();
                const size_t colon = n.find(':');
                if (colon != std::string::npos)
                    n = n.substr(colon + 1);
                if (n == outputColumn)
                    out = cell;
            }
            if (keys.size() != columns.size() || !out)
                continue;  // a row without the columns matches nothing
            rows.push_back(std::move(keys));
            outputs.push_back(Constant(out.text().get(), type));
        }
        auto missing = node.attribute("mapMissingTo")
                           ? Constant(node.attribute("mapMissingTo").value(), type)
                           : Cell();
        auto fallback = node.attribute("defaultValue")
                            ? Constant(node.attribute("defaultValue").value(), type)
                            : Cell();
        return std::make_unique<MapValuesExpr>(std::move(slots), std::move(rows),
                                               std::move(outputs), missing, fallback);
    }
    if (name == "Apply") {
        const std::string function = node.attribute("function").value();
        const FnInfo* info = nullptr;
        for (const FnInfo& f : kFunctions) {
            if (function == f.name)
                info = &f;
        }
        if (info == nullptr) {
            Fail("unsupported function '" + function + "' in Apply");
            return nullptr;
        }
        std::vector<std::unique_ptr<Expr>> args;
        for (pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element || IsIgnorableElement(child.name()))
                continue;
            auto arg = CompileExpr(child, scope);
            if (!arg)
                return nullptr;
            args.push_back(std::move(arg));
        }
        const int n = static_cast<int>(args.size());
        if (n < info->minArgs || (info->maxArgs >= 0 && n > info->maxArgs)) {
            Fail("function '" + function + "' in Apply has " + std::to_string(n) + " arguments");
            return nullptr;
        }
        return std::make_unique<ApplyExpr>(info->fn, std::move(args), optional("mapMissingTo"),
                                           optional("defaultValue"));
    }
    Fail("unsupported element '" + name + "'");
    return nullptr;
}

bool Compiler::CompilePredicate(const pugi::xml_node& node, const Scope& scope, Predicate& out) {
    const std::string name = node.name();
    out = Predicate();
    if (name == "True") {
        out.kind = Predicate::AlwaysTrue;
        return true;
    }
    if (name == "False") {
        out.kind = Predicate::AlwaysFalse;
        return true;
    }
    if (name == "SimplePredicate") {
        out.slot = Resolve(scope, node.attribute("field").value(), "SimplePredicate");
        if (out.slot < 0)
            return false;
        const std::string op = node.attribute("operator").value();
        static const std::pair<const char*, Predicate::Op> kOps[] = {
            {"equal", Predicate::Eq},       {"notEqual", Predicate::Ne},
            {"lessThan", Predicate::Lt},    {"lessOrEqual", Predicate::Le},
            {"greaterThan", Predicate::Gt}, {"greaterOrEqual", Predicate::Ge}};
        if (op == "isMissing" || op == "isNotMissing") {
            out.kind = op == "isMissing" ? Predicate::IsMissing : Predicate::IsNotMissing;
            return true;
        }
        bool known = false;
        for (const auto& [text, code] : kOps) {
            if (op == text) {
                out.op = code;
                known = true;
            }
        }
        if (!known)
            return Fail("unsupported operator '" + op + "' in SimplePredicate");
        out.kind = Predicate::Compare;
        const std::string value = node.attribute("value").value();
        out.text = doc_.Keep(value);
        const DataType type = Slot(out.slot).type;
        out.numericConst = ParseNumber(value, out.number, true);
        if (!out.numericConst && (type == DataType::Date || type == DataType::DateTime))
            out.numericConst = qehost::ParseHostDateTime(value, out.number);
        if (IsNumeric(type) && !out.numericConst) {
            // A date constant compared with a date field.
            return Fail("value '" + value + "' of SimplePredicate on '" +
                        node.attribute("field").value() + "' is not a number");
        }
        return true;
    }
    if (name == "SimpleSetPredicate") {
        const int slot = Resolve(scope, node.attribute("field").value(), "SimpleSetPredicate");
        if (slot < 0)
            return false;
        const std::string op = node.attribute("booleanOperator").value();
        if (op != "isIn" && op != "isNotIn")
            return Fail("unsupported booleanOperator '" + op + "' in SimpleSetPredicate");
        const std::vector<std::string> tokens = ArrayTokens(node.child("Array").text().get());
        std::vector<double> numbers;
        std::vector<std::string_view> texts;
        bool allNumbers = true;
        for (const std::string& t : tokens) {
            double v;
            if (ParseNumber(t, v, true))
                numbers.push_back(v);
            else
                allNumbers = false;
            texts.push_back(doc_.Keep(t));
        }
        if (!allNumbers)
            numbers.clear();
        out.kind = Predicate::Complex;
        out.complex = std::make_shared<SetPredicate>(slot, op == "isIn", std::move(numbers),
                                                     std::move(texts));
        return true;
    }
    if (name == "CompoundPredicate") {
        const std::string op = node.attribute("booleanOperator").value();
        CompoundPredicate::Op code;
        if (op == "and")
            code = CompoundPredicate::And;
        else if (op == "or")
            code = CompoundPredicate::Or;
        else if (op == "xor")
            code = CompoundPredicate::Xor;
        else if (op == "surrogate")
            code = CompoundPredicate::Surrogate;
        else
            return Fail("unsupported booleanOperator '" + op + "' in CompoundPredicate");
        std::vector<Predicate> parts;
        for (pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element || IsIgnorableElement(child.name()))
                continue;
            Predicate p;
            if (!CompilePredicate(child, scope, p))
                return false;
            parts.push_back(std::move(p));
        }
        out.kind = Predicate::Complex;
        out.complex = std::make_shared<CompoundPredicate>(code, std::move(parts));
        return true;
    }
    return Fail("unsupported predicate element '" + name + "'");
}

bool Compiler::CompileTransformations(const pugi::xml_node& node, Scope& scope) {
    // Names first, so that a derived field may use one defined after it.
    std::vector<std::pair<int, pugi::xml_node>> fields;
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element || IsIgnorableElement(child.name()))
            continue;
        if (!Is(child, "DerivedField"))
            return Fail(std::string("unsupported element '") + child.name() + "' in " +
                        node.name());
        bool ok = true;
        const DataType type = ParseDataType(child.attribute("dataType").as_string("double"), ok);
        if (!ok)
            return Fail(std::string("unsupported dataType '") +
                        child.attribute("dataType").value() + "' of DerivedField '" +
                        child.attribute("name").value() + "'");
        const std::string optype = child.attribute("optype").as_string("continuous");
        const int slot = NewSlot(child.attribute("name").value(), type, optype != "continuous");
        scope.Bind(child.attribute("name").value(), slot);
        fields.emplace_back(slot, child);
    }
    for (auto& [slot, field] : fields) {
        pugi::xml_node exprNode;
        for (pugi::xml_node child : field.children()) {
            if (child.type() == pugi::node_element && !IsIgnorableElement(child.name()) &&
                !Is(child, "Value")) {
                exprNode = child;
                break;
            }
        }
        if (!exprNode)
            return Fail(std::string("DerivedField '") + field.attribute("name").value() +
                        "' has no expression");
        auto expr = CompileExpr(exprNode, scope);
        if (!expr)
            return false;
        doc_.derived[static_cast<size_t>(slot)] = std::move(expr);
    }
    return true;
}

}  // namespace mcpmml
