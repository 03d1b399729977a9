#include "qeinteg/platform/engine/exec/Expression.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

#include "qeinteg/platform/engine/exec/EngineTime.h"

namespace qelocal {

const char* ValueTypeText(ValueType type) {
    switch (type) {
        case ValueType::Null:
            return "Null";
        case ValueType::Bool:
            return "Bool";
        case ValueType::Int:
            return "Int";
        case ValueType::Real:
            return "Real";
        case ValueType::String:
            return "String";
        case ValueType::Date:
            return "Date";
        case ValueType::Time:
            return "Time";
        case ValueType::Timestamp:
            return "Timestamp";
        case ValueType::List:
            return "List";
        case ValueType::Tuple:
            return "Tuple";
    }
    return "?";
}

Storage StorageOfValueType(ValueType type) {
    switch (type) {
        case ValueType::Bool:
        case ValueType::Int:
            return Storage::Integer;
        case ValueType::Real:
        case ValueType::Null:
            return Storage::Real;
        case ValueType::Date:
            return Storage::Date;
        case ValueType::Time:
            return Storage::Time;
        case ValueType::Timestamp:
            return Storage::Timestamp;
        default:
            return Storage::String;
    }
}

ValueType ValueTypeOfStorage(Storage storage) {
    switch (storage) {
        case Storage::Integer:
            return ValueType::Int;
        case Storage::Real:
            return ValueType::Real;
        case Storage::Date:
            return ValueType::Date;
        case Storage::Time:
            return ValueType::Time;
        case Storage::Timestamp:
            return ValueType::Timestamp;
        default:
            return ValueType::String;
    }
}

namespace {

bool IsNumeric(ValueType t) {
    return t == ValueType::Int || t == ValueType::Real;
}
bool IsScalar(ValueType t) {
    return t != ValueType::List && t != ValueType::Tuple;
}

std::string NumberText(double v, bool integer) {
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "Infinity" : "-Infinity";
    char buffer[64];
    if (integer && std::fabs(v) < 9.2e18) {
        auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(v));
        return std::string(buffer, r.ptr);
    }
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

std::string JsonQuote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The text of a scalar value (toString and concatenation).
std::string ScalarText(const ValueVector& v, size_t row) {
    switch (v.type) {
        case ValueType::String:
            return v.str[row];
        case ValueType::Bool:
            return v.num[row] != 0 ? "true" : "false";
        case ValueType::Int:
            return NumberText(v.num[row], true);
        case ValueType::Date:
            return FormatDate(v.num[row]);
        case ValueType::Time:
            return FormatTime(v.num[row]);
        case ValueType::Timestamp:
            return FormatTimestamp(v.num[row]);
        default:
            return NumberText(v.num[row], false);
    }
}

std::string JsonText(const ValueVector& v, size_t row) {
    if (!v.valid[row])
        return "null";
    if (v.type == ValueType::List || v.type == ValueType::Tuple) {
        std::string out = "[";
        for (size_t i = 0; i < v.items.size(); ++i) {
            if (i > 0)
                out += ",";
            out += JsonText(v.items[i], row);
        }
        return out + "]";
    }
    if (v.type == ValueType::String || v.type == ValueType::Date || v.type == ValueType::Time ||
        v.type == ValueType::Timestamp)
        return JsonQuote(ScalarText(v, row));
    return ScalarText(v, row);
}

// --- UTF-8 ---

std::vector<uint32_t> Decode(std::string_view s) {
    std::vector<uint32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
            out.push_back(c);  // a stray byte counts as one character
            ++i;
            continue;
        }
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

void Encode(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Case mapping for ASCII, Latin-1, Greek and Cyrillic capitals.
uint32_t ToLower(uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}
uint32_t ToUpper(uint32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

bool ParseNumber(std::string_view text, double& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// --- Tokens ---

struct Token {
    enum Kind { End, Number, Text, Name, Quoted, Op } kind = End;
    std::string text;
    size_t pos = 0;
    size_t end = 0;
};

class Lexer {
  public:
    Lexer(std::string_view s, const std::string& context, const std::string& whole)
        : s_(s), context_(context), whole_(whole) {
        advance();
    }
    const Token& peek() const { return current_; }
    Token take() {
        Token t = current_;
        advance();
        return t;
    }
    bool isOp(const char* op) const { return current_.kind == Token::Op && current_.text == op; }
    bool isName(const char* name) const {
        return current_.kind == Token::Name && current_.text == name;
    }
    [[noreturn]] void fail(const std::string& what, size_t pos) const {
        throw EngineError(context_ + ": the expression `" + whole_ + "` is invalid at column " +
                              std::to_string(pos + 1) + ": " + what,
                          "EXPRESSION_ERROR");
    }
    size_t lastEnd() const { return lastEnd_; }

  private:
    void advance() {
        lastEnd_ = current_.end;
        while (i_ < s_.size() &&
               (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n'))
            ++i_;
        Token t;
        t.pos = i_;
        if (i_ >= s_.size()) {
            t.kind = Token::End;
        } else {
            const char c = s_[i_];
            if (std::isdigit(static_cast<unsigned char>(c))) {
                size_t j = i_;
                while (j < s_.size() &&
                       (std::isdigit(static_cast<unsigned char>(s_[j])) || s_[j] == '.' ||
                        s_[j] == 'e' || s_[j] == 'E' ||
                        ((s_[j] == '+' || s_[j] == '-') && (s_[j - 1] == 'e' || s_[j - 1] == 'E'))))
                    ++j;
                t.kind = Token::Number;
                t.text = std::string(s_.substr(i_, j - i_));
                i_ = j;
            } else if (c == '"') {
                t.kind = Token::Text;
                size_t j = i_ + 1;
                while (true) {
                    if (j >= s_.size())
                        fail("a text is not closed", i_);
                    if (s_[j] == '"')
                        break;
                    if (s_[j] == '\\' && j + 1 < s_.size()) {
                        const char e = s_[j + 1];
                        switch (e) {
                            case 'n':
                                t.text += '\n';
                                break;
                            case 't':
                                t.text += '\t';
                                break;
                            case 'r':
                                t.text += '\r';
                                break;
                            case 'b':
                                t.text += '\b';
                                break;
                            case 'f':
                                t.text += '\f';
                                break;
                            case 'u': {
                                if (j + 5 >= s_.size())
                                    fail("a bad \\u escape", j);
                                unsigned cp = 0;
                                auto r =
                                    std::from_chars(s_.data() + j + 2, s_.data() + j + 6, cp, 16);
                                if (r.ptr != s_.data() + j + 6)
                                    fail("a bad \\u escape", j);
                                Encode(cp, t.text);
                                j += 4;
                                break;
                            }
                            default:
                                t.text += e;
                        }
                        j += 2;
                        continue;
                    }
                    t.text += s_[j++];
                }
                i_ = j + 1;
            } else if (c == '`') {
                t.kind = Token::Quoted;
                size_t j = i_ + 1;
                while (true) {
                    if (j >= s_.size())
                        fail("a quoted name is not closed", i_);
                    if (s_[j] == '`') {
                        if (j + 1 < s_.size() && s_[j + 1] == '`') {
                            t.text += '`';
                            j += 2;
                            continue;
                        }
                        break;
                    }
                    t.text += s_[j++];
                }
                i_ = j + 1;
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t j = i_;
                while (j < s_.size() &&
                       (std::isalnum(static_cast<unsigned char>(s_[j])) || s_[j] == '_'))
                    ++j;
                t.kind = Token::Name;
                t.text = std::string(s_.substr(i_, j - i_));
                i_ = j;
            } else {
                static const char* two[] = {"==", "!=", "<=", ">=", "&&", "||", "=>"};
                t.kind = Token::Op;
                for (const char* op : two) {
                    if (s_.substr(i_, 2) == op) {
                        t.text = op;
                        break;
                    }
                }
                if (t.text.empty()) {
                    if (std::strchr("+-*/%<>!()[],.:", c) == nullptr)
                        fail(std::string("unexpected character '") + c + "'", i_);
                    t.text = std::string(1, c);
                }
                i_ += t.text.size();
            }
        }
        t.end = i_;
        current_ = std::move(t);
    }

    std::string_view s_;
    const std::string& context_;
    const std::string& whole_;
    size_t i_ = 0;
    size_t lastEnd_ = 0;
    Token current_;
};

}  // namespace

struct CompiledExpression::Node {
    enum class Kind { Literal, Field, Neg, Not, Arith, Compare, And, Or, Cond, Call, List, Tuple };
    Kind kind = Kind::Literal;
    std::string op;  // operator or function name
    std::vector<std::unique_ptr<Node>> kids;
    ValueType type = ValueType::Null;
    int field = -1;
    std::string fieldName;
    double litNum = 0;
    std::string litStr;
    std::string text;
    ValueVector out;
    size_t literalRows = static_cast<size_t>(-1);
    // toTimestamp
    std::vector<DateTimeFormat> formats;
    double defaultDay = 0;
};

namespace {

using Node = CompiledExpression::Node;

class Parser {
  public:
    Parser(std::string_view body, const std::vector<EngineField>& fields, std::string record,
           const std::string& context, const std::string& whole)
        : body_(body),
          lex_(body, context, whole),
          fields_(fields),
          record_(std::move(record)),
          context_(context),
          whole_(whole) {}

    std::unique_ptr<Node> parseAll() {
        auto node = expr();
        if (lex_.peek().kind != Token::End)
            lex_.fail("unexpected '" + lex_.peek().text + "'", lex_.peek().pos);
        return node;
    }

  private:
    [[noreturn]] void typeError(const std::string& what) const {
        throw EngineError(
            context_ + ": the expression `" + whole_ + "` does not type-check: " + what,
            "EXPRESSION_TYPE_ERROR");
    }
    static std::string Describe(const Node& n) {
        if (n.kind == Node::Kind::Field)
            return "field '" + n.fieldName + "' (" + ValueTypeText(n.type) + ")";
        return "`" + n.text + "` (" + ValueTypeText(n.type) + ")";
    }
    void finish(Node& n, size_t start) {
        n.text = std::string(body_.substr(start, lex_.lastEnd() - start));
    }

    std::unique_ptr<Node> expr() {
        const size_t start = lex_.peek().pos;
        auto left = andExpr();
        while (lex_.isOp("||")) {
            lex_.take();
            left = logic("||", std::move(left), andExpr(), start);
        }
        return left;
    }
    std::unique_ptr<Node> andExpr() {
        const size_t start = lex_.peek().pos;
        auto left = compare();
        while (lex_.isOp("&&")) {
            lex_.take();
            left = logic("&&", std::move(left), compare(), start);
        }
        return left;
    }
    std::unique_ptr<Node> logic(const char* op, std::unique_ptr<Node> a, std::unique_ptr<Node> b,
                                size_t start) {
        auto n = std::make_unique<Node>();
        n->kind = op[0] == '&' ? Node::Kind::And : Node::Kind::Or;
        n->op = op;
        n->type = ValueType::Bool;
        finish(*n, start);
        for (Node* k : {a.get(), b.get()}) {
            if (k->type != ValueType::Bool && k->type != ValueType::Null)
                typeError(std::string("'") + op + "' needs Bool operands, " + Describe(*k) +
                          " is not");
        }
        n->kids.push_back(std::move(a));
        n->kids.push_back(std::move(b));
        return n;
    }
    static int TypeClass(ValueType t) {
        switch (t) {
            case ValueType::Int:
            case ValueType::Real:
                return 1;
            case ValueType::String:
                return 2;
            case ValueType::Bool:
                return 3;
            case ValueType::Date:
                return 4;
            case ValueType::Time:
                return 5;
            case ValueType::Timestamp:
                return 6;
            case ValueType::Null:
                return 0;
            default:
                return -1;
        }
    }
    std::unique_ptr<Node> compare() {
        const size_t start = lex_.peek().pos;
        auto left = sum();
        for (const char* op : {"==", "!=", "<=", ">=", "<", ">"}) {
            if (lex_.isOp(op)) {
                lex_.take();
                auto right = sum();
                auto n = std::make_unique<Node>();
                n->kind = Node::Kind::Compare;
                n->op = op;
                n->type = ValueType::Bool;
                finish(*n, start);
                const int a = TypeClass(left->type), b = TypeClass(right->type);
                if (a < 0 || b < 0 || (a != 0 && b != 0 && a != b))
                    typeError(std::string("'") + op + "' cannot compare " + Describe(*left) +
                              " with " + Describe(*right));
                n->kids.push_back(std::move(left));
                n->kids.push_back(std::move(right));
                return n;
            }
        }
        return left;
    }
    std::unique_ptr<Node> arith(const std::string& op, std::unique_ptr<Node> a,
                                std::unique_ptr<Node> b, size_t start) {
        auto n = std::make_unique<Node>();
        n->kind = Node::Kind::Arith;
        n->op = op;
        finish(*n, start);
        const ValueType ta = a->type, tb = b->type;
        if (op == "+" && (ta == ValueType::String || tb == ValueType::String)) {
            for (Node* k : {a.get(), b.get()}) {
                if (!IsScalar(k->type))
                    typeError("'+' cannot join " + Describe(*k) + " to a text");
            }
            n->type = ValueType::String;
        } else {
            for (Node* k : {a.get(), b.get()}) {
                if (!IsNumeric(k->type) && k->type != ValueType::Null)
                    typeError("'" + op + "' needs numbers, " + Describe(*k) + " is not one");
            }
            const bool ints = (ta == ValueType::Int || ta == ValueType::Null) &&
                              (tb == ValueType::Int || tb == ValueType::Null);
            n->type = op == "/" || !ints ? ValueType::Real : ValueType::Int;
        }
        n->kids.push_back(std::move(a));
        n->kids.push_back(std::move(b));
        return n;
    }
    std::unique_ptr<Node> sum() {
        const size_t start = lex_.peek().pos;
        auto left = product();
        while (lex_.isOp("+") || lex_.isOp("-")) {
            const std::string op = lex_.take().text;
            left = arith(op, std::move(left), product(), start);
        }
        return left;
    }
    std::unique_ptr<Node> product() {
        const size_t start = lex_.peek().pos;
        auto left = unary();
        while (lex_.isOp("*") || lex_.isOp("/") || lex_.isOp("%")) {
            const std::string op = lex_.take().text;
            left = arith(op, std::move(left), unary(), start);
        }
        return left;
    }
    std::unique_ptr<Node> unary() {
        const size_t start = lex_.peek().pos;
        if (lex_.isOp("!") || lex_.isOp("-")) {
            const std::string op = lex_.take().text;
            auto operand = unary();
            if (op == "-" && operand->kind == Node::Kind::Literal && IsNumeric(operand->type)) {
                operand->litNum = -operand->litNum;
                finish(*operand, start);
                return operand;
            }
            auto n = std::make_unique<Node>();
            n->kind = op == "!" ? Node::Kind::Not : Node::Kind::Neg;
            n->op = op;
            finish(*n, start);
            if (op == "!") {
                if (operand->type != ValueType::Bool && operand->type != ValueType::Null)
                    typeError("'!' needs a Bool, " + Describe(*operand) + " is not one");
                n->type = ValueType::Bool;
            } else {
                if (!IsNumeric(operand->type) && operand->type != ValueType::Null)
                    typeError("'-' needs a number, " + Describe(*operand) + " is not one");
                n->type = operand->type == ValueType::Int ? ValueType::Int : ValueType::Real;
            }
            n->kids.push_back(std::move(operand));
            return n;
        }
        return postfix();
    }
    std::unique_ptr<Node> postfix() {
        const size_t start = lex_.peek().pos;
        Token t = lex_.peek();
        if (t.kind == Token::Name && t.text == record_) {
            lex_.take();
            if (!lex_.isOp("."))
                lex_.fail("the record '" + record_ + "' can only be used as " + record_ + ".FIELD",
                          t.pos);
            lex_.take();
            Token name = lex_.take();
            if (name.kind != Token::Name && name.kind != Token::Quoted)
                lex_.fail("a field name must follow '.'", name.pos);
            auto n = std::make_unique<Node>();
            n->kind = Node::Kind::Field;
            n->fieldName = name.text;
            n->field = FindField(fields_, name.text);
            finish(*n, start);
            if (n->field < 0)
                throw EngineError(context_ + ": the expression `" + whole_ +
                                      "` refers to the field '" + name.text +
                                      "', which the records do not have",
                                  "UNKNOWN_FIELD");
            n->type = ValueTypeOfStorage(fields_[static_cast<size_t>(n->field)].storage);
            return n;
        }
        if (t.kind == Token::Name && lex_.peek().kind == Token::Name) {
            lex_.take();
            if (t.text == "true" || t.text == "false")
                return literalBool(t.text == "true", start);
            if (t.text == "null") {
                auto n = std::make_unique<Node>();
                n->kind = Node::Kind::Literal;
                n->type = ValueType::Null;
                finish(*n, start);
                return n;
            }
            if (!lex_.isOp("("))
                lex_.fail("unknown name '" + t.text + "'", t.pos);
            lex_.take();
            std::vector<std::unique_ptr<Node>> args;
            if (!lex_.isOp(")")) {
                while (true) {
                    args.push_back(expr());
                    if (lex_.isOp(",")) {
                        lex_.take();
                        continue;
                    }
                    break;
                }
            }
            if (!lex_.isOp(")"))
                lex_.fail("expected ')' after the arguments of " + t.text, lex_.peek().pos);
            lex_.take();
            return call(t.text, std::move(args), start);
        }
        return primary();
    }
    std::unique_ptr<Node> literalBool(bool v, size_t start) {
        auto n = std::make_unique<Node>();
        n->kind = Node::Kind::Literal;
        n->type = ValueType::Bool;
        n->litNum = v ? 1 : 0;
        finish(*n, start);
        return n;
    }
    std::unique_ptr<Node> primary() {
        const size_t start = lex_.peek().pos;
        Token t = lex_.take();
        if (t.kind == Token::Number) {
            auto n = std::make_unique<Node>();
            n->kind = Node::Kind::Literal;
            if (!ParseNumber(t.text, n->litNum))
                lex_.fail("'" + t.text + "' is not a number", t.pos);
            n->type =
                t.text.find_first_of(".eE") == std::string::npos ? ValueType::Int : ValueType::Real;
            finish(*n, start);
            return n;
        }
        if (t.kind == Token::Text) {
            auto n = std::make_unique<Node>();
            n->kind = Node::Kind::Literal;
            n->type = ValueType::String;
            n->litStr = t.text;
            finish(*n, start);
            return n;
        }
        if (t.kind == Token::Op && t.text == "[") {
            auto n = std::make_unique<Node>();
            n->kind = Node::Kind::List;
            n->type = ValueType::List;
            if (!lex_.isOp("]")) {
                while (true) {
                    n->kids.push_back(expr());
                    if (lex_.isOp(",")) {
                        lex_.take();
                        continue;
                    }
                    break;
                }
            }
            if (!lex_.isOp("]"))
                lex_.fail("expected ']'", lex_.peek().pos);
            lex_.take();
            finish(*n, start);
            for (auto& k : n->kids) {
                if (k->type == ValueType::List)
                    typeError("a list cannot hold " + Describe(*k));
            }
            return n;
        }
        if (t.kind == Token::Op && t.text == "(") {
            if (lex_.isName("if"))
                return conditional(start);
            if (lex_.isOp(")")) {
                lex_.take();
                auto n = std::make_unique<Node>();
                n->kind = Node::Kind::Tuple;
                n->type = ValueType::Tuple;
                finish(*n, start);
                return n;
            }
            auto first = expr();
            if (lex_.isOp(")")) {
                lex_.take();
                return first;
            }
            auto n = std::make_unique<Node>();
            n->kind = Node::Kind::Tuple;
            n->type = ValueType::Tuple;
            n->kids.push_back(std::move(first));
            while (lex_.isOp(",")) {
                lex_.take();
                if (lex_.isOp(")"))
                    break;
                n->kids.push_back(expr());
            }
            if (!lex_.isOp(")"))
                lex_.fail("expected ')'", lex_.peek().pos);
            lex_.take();
            finish(*n, start);
            return n;
        }
        if (t.kind == Token::End)
            lex_.fail("the expression ends too early", t.pos);
        lex_.fail("unexpected '" + t.text + "'", t.pos);
    }
    static ValueType Unify(ValueType a, ValueType b, bool& ok) {
        ok = true;
        if (a == b || b == ValueType::Null)
            return a;
        if (a == ValueType::Null)
            return b;
        if (IsNumeric(a) && IsNumeric(b))
            return ValueType::Real;
        ok = false;
        return a;
    }
    std::unique_ptr<Node> conditional(size_t start) {
        auto n = std::make_unique<Node>();
        n->kind = Node::Kind::Cond;
        lex_.take();  // if
        while (true) {
            auto c = expr();
            if (c->type != ValueType::Bool && c->type != ValueType::Null)
                typeError("a condition must be Bool, " + Describe(*c) + " is not");
            if (!lex_.isName("then"))
                lex_.fail("expected 'then'", lex_.peek().pos);
            lex_.take();
            n->kids.push_back(std::move(c));
            n->kids.push_back(expr());
            if (lex_.isName("elif")) {
                lex_.take();
                continue;
            }
            break;
        }
        if (!lex_.isName("else"))
            lex_.fail("expected 'else'", lex_.peek().pos);
        lex_.take();
        n->kids.push_back(expr());
        if (!lex_.isOp(")"))
            lex_.fail("expected ')' to close the conditional", lex_.peek().pos);
        lex_.take();
        finish(*n, start);
        ValueType type = ValueType::Null;
        // The values: every clause's (odd positions before the last) and the otherwise value.
        std::vector<size_t> branches;
        for (size_t k = 1; k + 1 < n->kids.size(); k += 2)
            branches.push_back(k);
        branches.push_back(n->kids.size() - 1);
        for (size_t i : branches) {
            bool ok = true;
            const Node& branch = *n->kids[i];
            if (!IsScalar(branch.type))
                typeError("a conditional value cannot be " + Describe(branch));
            type = Unify(type, branch.type, ok);
            if (!ok)
                typeError("the branches of `" + n->text + "` differ: " + Describe(branch) +
                          " against " + ValueTypeText(type));
        }
        n->type = type;
        return n;
    }
    std::unique_ptr<Node> call(const std::string& name, std::vector<std::unique_ptr<Node>> args,
                               size_t start) {
        auto n = std::make_unique<Node>();
        n->kind = Node::Kind::Call;
        n->op = name;
        finish(*n, start);
        auto arity = [&](size_t lo, size_t hi) {
            if (args.size() < lo || args.size() > hi)
                typeError(name + " takes " +
                          (lo == hi ? std::to_string(lo)
                                    : std::to_string(lo) + " to " + std::to_string(hi)) +
                          " arguments, `" + n->text + "` gives " + std::to_string(args.size()));
        };
        auto numeric = [&](size_t i) {
            if (!IsNumeric(args[i]->type) && args[i]->type != ValueType::Null)
                typeError(name + " needs a number, " + Describe(*args[i]) + " is not one");
        };
        auto text = [&](size_t i) {
            if (args[i]->type != ValueType::String && args[i]->type != ValueType::Null)
                typeError(name + " needs a text, " + Describe(*args[i]) + " is not one");
        };
        auto scalar = [&](size_t i) {
            if (!IsScalar(args[i]->type))
                typeError(name + " cannot take " + Describe(*args[i]));
        };
        if (name == "toReal" || name == "toInt" || name == "toString") {
            arity(1, 1);
            scalar(0);
            n->type = name == "toReal"  ? ValueType::Real
                      : name == "toInt" ? ValueType::Int
                                        : ValueType::String;
        } else if (name == "isMissing") {
            arity(1, 1);
            n->type = ValueType::Bool;
        } else if (name == "abs" || name == "floor" || name == "ceil") {
            arity(1, 1);
            numeric(0);
            n->type = name == "abs"
                          ? (args[0]->type == ValueType::Int ? ValueType::Int : ValueType::Real)
                          : ValueType::Int;
        } else if (name == "round") {
            arity(1, 2);
            numeric(0);
            if (args.size() == 2)
                numeric(1);
            n->type = args.size() == 1 ? ValueType::Int : ValueType::Real;
        } else if (name == "sqrt" || name == "log" || name == "exp") {
            arity(1, 1);
            numeric(0);
            n->type = ValueType::Real;
        } else if (name == "min" || name == "max") {
            arity(1, 64);
            ValueType type = ValueType::Null;
            for (size_t i = 0; i < args.size(); ++i) {
                bool ok = true;
                scalar(i);
                type = Unify(type, args[i]->type, ok);
                if (!ok || type == ValueType::Bool)
                    typeError(name + " cannot mix " + Describe(*args[i]) + " with " +
                              ValueTypeText(type));
            }
            n->type = type;
        } else if (name == "substring") {
            arity(2, 3);
            text(0);
            numeric(1);
            if (args.size() == 3)
                numeric(2);
            n->type = ValueType::String;
        } else if (name == "length") {
            arity(1, 1);
            text(0);
            n->type = ValueType::Int;
        } else if (name == "lower" || name == "upper") {
            arity(1, 1);
            text(0);
            n->type = ValueType::String;
        } else if (name == "concat") {
            arity(1, 64);
            for (size_t i = 0; i < args.size(); ++i)
                scalar(i);
            n->type = ValueType::String;
        } else if (name == "date") {
            arity(3, 3);
            for (size_t i = 0; i < 3; ++i)
                numeric(i);
            n->type = ValueType::Date;
        } else if (name == "toTimestamp") {
            arity(1, 64);
            const ValueType v = args[0]->type;
            if (v != ValueType::String && v != ValueType::Null && v != ValueType::Date &&
                v != ValueType::Timestamp)
                typeError("toTimestamp needs a text, " + Describe(*args[0]) + " is not one");
            size_t last = args.size();
            if (last >= 3 && args[last - 1]->type == ValueType::Date) {
                if (args[last - 1]->kind != Node::Kind::Call || args[last - 1]->op != "date")
                    typeError("the default date of toTimestamp must be written date(y, m, d)");
                const auto& d = args[last - 1]->kids;
                for (const auto& k : d) {
                    if (k->kind != Node::Kind::Literal)
                        typeError("the default date of toTimestamp must be a fixed date");
                }
                n->defaultDay = static_cast<double>(
                    DaysFromCivil(static_cast<int64_t>(d[0]->litNum),
                                  static_cast<int>(d[1]->litNum), static_cast<int>(d[2]->litNum)));
                last -= 2;  // the zone or locale before the default date is not used
            }
            for (size_t i = 1; i < last; ++i) {
                if (args[i]->kind != Node::Kind::Literal || args[i]->type != ValueType::String)
                    typeError("the formats of toTimestamp must be fixed texts, " +
                              Describe(*args[i]) + " is not one");
                auto format = DateTimeFormat::Compile(args[i]->litStr);
                if (!format)
                    typeError("'" + args[i]->litStr + "' is not a date/time format");
                n->formats.push_back(*format);
            }
            n->type = ValueType::Timestamp;
        } else {
            typeError("the function '" + name + "' is not known");
        }
        n->kids = std::move(args);
        return n;
    }

    std::string_view body_;
    Lexer lex_;
    const std::vector<EngineField>& fields_;
    std::string record_;
    const std::string& context_;
    const std::string& whole_;
};

void Resize(ValueVector& v, ValueType type, size_t n) {
    v.type = type;
    v.valid.resize(n);
    if (type == ValueType::String) {
        v.str.resize(n);
    } else {
        v.num.resize(n);
    }
}

const ValueVector& Eval(Node& node, const Batch& batch);

// The numbers and validity of a numeric operand, read straight from the batch for a field (the
// common case in filters and derivations) instead of through a copy.
struct NumView {
    const double* num;
    const uint8_t* valid;
};

NumView NumArg(Node& node, const Batch& batch) {
    if (node.kind == Node::Kind::Field) {
        const Column& c = batch.columns[static_cast<size_t>(node.field)];
        if (!c.isString())
            return {c.num.data(), c.valid.data()};
    }
    const ValueVector& v = Eval(node, batch);
    return {v.num.data(), v.valid.data()};
}

void EvalCall(Node& node, const Batch& batch, ValueVector& out) {
    const size_t n = batch.rows;
    std::vector<const ValueVector*> a;
    for (auto& k : node.kids)
        a.push_back(&Eval(*k, batch));
    const std::string& f = node.op;
    Resize(out, node.type, n);
    auto& valid = out.valid;
    if (f == "isMissing") {
        for (size_t i = 0; i < n; ++i) {
            out.num[i] = a[0]->valid[i] ? 0 : 1;
            valid[i] = 1;
        }
        return;
    }
    if (f == "min" || f == "max") {
        const bool isMin = f == "min";
        for (size_t i = 0; i < n; ++i) {
            valid[i] = 1;
            for (const ValueVector* v : a)
                valid[i] &= v->valid[i];
            if (!valid[i])
                continue;
            if (node.type == ValueType::String) {
                const std::string* best = &a[0]->str[i];
                for (const ValueVector* v : a) {
                    if (isMin ? v->str[i] < *best : v->str[i] > *best)
                        best = &v->str[i];
                }
                out.str[i] = *best;
            } else {
                double best = a[0]->num[i];
                for (const ValueVector* v : a)
                    best = isMin ? std::min(best, v->num[i]) : std::max(best, v->num[i]);
                out.num[i] = best;
            }
        }
        return;
    }
    if (f == "concat") {
        for (size_t i = 0; i < n; ++i) {
            valid[i] = 1;
            std::string s;
            for (const ValueVector* v : a) {
                if (!v->valid[i]) {
                    valid[i] = 0;
                    break;
                }
                s += ScalarText(*v, i);
            }
            out.str[i] = valid[i] ? std::move(s) : std::string();
        }
        return;
    }
    if (f == "date") {
        for (size_t i = 0; i < n; ++i) {
            valid[i] = a[0]->valid[i] & a[1]->valid[i] & a[2]->valid[i];
            if (!valid[i])
                continue;
            const auto y = static_cast<int64_t>(a[0]->num[i]);
            const int m = static_cast<int>(a[1]->num[i]);
            const int d = static_cast<int>(a[2]->num[i]);
            if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) {
                valid[i] = 0;  // no such day
                continue;
            }
            out.num[i] = static_cast<double>(DaysFromCivil(y, m, d));
        }
        return;
    }
    if (f == "toTimestamp") {
        const ValueVector& v = *a[0];
        for (size_t i = 0; i < n; ++i) {
            valid[i] = v.valid[i];
            if (!valid[i])
                continue;
            if (v.type == ValueType::Date) {
                out.num[i] = v.num[i] * 86400.0;
                continue;
            }
            if (v.type == ValueType::Timestamp) {
                out.num[i] = v.num[i];
                continue;
            }
            valid[i] = 0;
            for (const DateTimeFormat& format : node.formats) {
                double seconds = 0;
                if (format.Parse(v.str[i], seconds)) {
                    if (!format.hasDate())
                        seconds += node.defaultDay * 86400.0;
                    out.num[i] = seconds;
                    valid[i] = 1;
                    break;
                }
            }
        }
        return;
    }
    const ValueVector& x = *a[0];
    for (size_t i = 0; i < n; ++i)
        valid[i] = x.valid[i];
    if (f == "toReal" || f == "toInt") {
        const bool toInt = f == "toInt";
        for (size_t i = 0; i < n; ++i) {
            if (!valid[i])
                continue;
            double value = 0;
            if (x.type == ValueType::String) {
                if (!ParseNumber(x.str[i], value)) {
                    valid[i] = 0;
                    continue;
                }
            } else {
                value = x.num[i];
            }
            if (toInt) {
                if (!std::isfinite(value)) {
                    valid[i] = 0;
                    continue;
                }
                value = std::trunc(value);
            }
            out.num[i] = value;
        }
        return;
    }
    if (f == "toString") {
        for (size_t i = 0; i < n; ++i)
            out.str[i] = valid[i] ? ScalarText(x, i) : std::string();
        return;
    }
    if (f == "length") {
        for (size_t i = 0; i < n; ++i) {
            if (valid[i])
                out.num[i] = static_cast<double>(Decode(x.str[i]).size());
        }
        return;
    }
    if (f == "lower" || f == "upper") {
        const bool lower = f == "lower";
        for (size_t i = 0; i < n; ++i) {
            if (!valid[i])
                continue;
            std::string s;
            for (uint32_t c : Decode(x.str[i]))
                Encode(lower ? ToLower(c) : ToUpper(c), s);
            out.str[i] = std::move(s);
        }
        return;
    }
    if (f == "substring") {
        for (size_t i = 0; i < n; ++i) {
            valid[i] &= a[1]->valid[i];
            if (a.size() == 3)
                valid[i] &= a[2]->valid[i];
            if (!valid[i])
                continue;
            const std::vector<uint32_t> cps = Decode(x.str[i]);
            // 1-based start; a start before the text begins at its first character.
            const double startD = std::floor(a[1]->num[i]);
            const auto size = static_cast<double>(cps.size());
            double from = std::max(1.0, startD) - 1;
            double to =
                a.size() == 3 ? std::min(size, startD - 1 + std::floor(a[2]->num[i])) : size;
            std::string s;
            for (double k = from; k < to; ++k)
                Encode(cps[static_cast<size_t>(k)], s);
            out.str[i] = std::move(s);
        }
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        if (!valid[i])
            continue;
        const double v = x.num[i];
        double r = v;
        if (f == "abs") {
            r = std::fabs(v);
        } else if (f == "floor") {
            r = std::floor(v);
        } else if (f == "ceil") {
            r = std::ceil(v);
        } else if (f == "round") {
            if (a.size() == 2) {
                if (!a[1]->valid[i]) {
                    valid[i] = 0;
                    continue;
                }
                const double scale = std::pow(10.0, std::trunc(a[1]->num[i]));
                r = std::round(v * scale) / scale;
            } else {
                r = std::round(v);  // halves away from zero
            }
        } else if (f == "sqrt") {
            r = std::sqrt(v);
        } else if (f == "log") {
            r = std::log(v);
        } else if (f == "exp") {
            r = std::exp(v);
        }
        if (std::isnan(r) && !std::isnan(v)) {
            valid[i] = 0;  // outside the function's domain (sqrt(-1), log(0))
            continue;
        }
        if (std::isinf(r) && !std::isinf(v) && f == "log") {
            valid[i] = 0;
            continue;
        }
        out.num[i] = r;
    }
}

const ValueVector& Eval(Node& node, const Batch& batch) {
    const size_t n = batch.rows;
    ValueVector& out = node.out;
    switch (node.kind) {
        case Node::Kind::Literal: {
            if (node.literalRows != n) {
                Resize(out, node.type == ValueType::Null ? ValueType::Real : node.type, n);
                out.type = node.type;
                const uint8_t present = node.type == ValueType::Null ? 0 : 1;
                std::fill(out.valid.begin(), out.valid.end(), present);
                if (node.type == ValueType::String)
                    std::fill(out.str.begin(), out.str.end(), node.litStr);
                else
                    std::fill(out.num.begin(), out.num.end(), node.litNum);
                node.literalRows = n;
            }
            return out;
        }
        case Node::Kind::Field: {
            const Column& c = batch.columns[static_cast<size_t>(node.field)];
            out.type = node.type;
            out.valid.assign(c.valid.begin(), c.valid.end());
            if (c.isString())
                out.str.assign(c.str.begin(), c.str.end());
            else
                out.num.assign(c.num.begin(), c.num.end());
            return out;
        }
        case Node::Kind::Neg:
        case Node::Kind::Not: {
            const ValueVector& x = Eval(*node.kids[0], batch);
            Resize(out, node.type, n);
            const bool neg = node.kind == Node::Kind::Neg;
            for (size_t i = 0; i < n; ++i) {
                out.valid[i] = x.valid[i];
                out.num[i] = neg ? -x.num[i] : (x.num[i] != 0 ? 0.0 : 1.0);
            }
            return out;
        }
        case Node::Kind::Arith: {
            if (node.type == ValueType::String) {
                const ValueVector& a = Eval(*node.kids[0], batch);
                const ValueVector& b = Eval(*node.kids[1], batch);
                Resize(out, node.type, n);
                for (size_t i = 0; i < n; ++i) {
                    out.valid[i] = a.valid[i] & b.valid[i];
                    out.str[i] = out.valid[i] ? ScalarText(a, i) + ScalarText(b, i) : std::string();
                }
                return out;
            }
            const NumView a = NumArg(*node.kids[0], batch);
            const NumView b = NumArg(*node.kids[1], batch);
            Resize(out, node.type, n);
            uint8_t* valid = out.valid.data();
            for (size_t i = 0; i < n; ++i)
                valid[i] = a.valid[i] & b.valid[i];
            const double* x = a.num;
            const double* y = b.num;
            double* r = out.num.data();
            const char op = node.op[0];
            const bool ints = node.type == ValueType::Int;
            switch (op) {
                case '+':
                    for (size_t i = 0; i < n; ++i)
                        r[i] = x[i] + y[i];
                    break;
                case '-':
                    for (size_t i = 0; i < n; ++i)
                        r[i] = x[i] - y[i];
                    break;
                case '*':
                    for (size_t i = 0; i < n; ++i)
                        r[i] = x[i] * y[i];
                    break;
                case '/':
                    for (size_t i = 0; i < n; ++i) {
                        r[i] = y[i] == 0 ? 0 : x[i] / y[i];
                        valid[i] &= y[i] != 0 ? 1 : 0;  // division by zero is missing
                    }
                    break;
                default:
                    for (size_t i = 0; i < n; ++i) {
                        r[i] = y[i] == 0 ? 0 : std::fmod(x[i], y[i]);
                        valid[i] &= y[i] != 0 ? 1 : 0;
                    }
            }
            if (ints) {
                for (size_t i = 0; i < n; ++i)
                    r[i] = std::trunc(r[i]);
            }
            return out;
        }
        case Node::Kind::Compare: {
            if (node.kids[0]->type != ValueType::String &&
                node.kids[1]->type != ValueType::String) {
                const NumView a = NumArg(*node.kids[0], batch);
                const NumView b = NumArg(*node.kids[1], batch);
                Resize(out, ValueType::Bool, n);
                uint8_t* valid = out.valid.data();
                double* r = out.num.data();
                const double* x = a.num;
                const double* y = b.num;
                for (size_t i = 0; i < n; ++i)
                    valid[i] = a.valid[i] & b.valid[i];
                auto apply = [&](auto cmp) {
                    for (size_t i = 0; i < n; ++i)
                        r[i] = cmp(x[i], y[i]) ? 1.0 : 0.0;
                };
                const std::string& op = node.op;
                if (op == "==")
                    apply([](double p, double q) { return p == q; });
                else if (op == "!=")
                    apply([](double p, double q) { return p != q; });
                else if (op == "<")
                    apply([](double p, double q) { return p < q; });
                else if (op == "<=")
                    apply([](double p, double q) { return p <= q; });
                else if (op == ">")
                    apply([](double p, double q) { return p > q; });
                else
                    apply([](double p, double q) { return p >= q; });
                return out;
            }
            const ValueVector& a = Eval(*node.kids[0], batch);
            const ValueVector& b = Eval(*node.kids[1], batch);
            Resize(out, ValueType::Bool, n);
            uint8_t* valid = out.valid.data();
            double* r = out.num.data();
            for (size_t i = 0; i < n; ++i)
                valid[i] = a.valid[i] & b.valid[i];
            const std::string& op = node.op;
            auto apply = [&](auto cmp) {
                for (size_t i = 0; i < n; ++i)
                    r[i] = cmp(i) ? 1.0 : 0.0;
            };
            const bool text = a.type == ValueType::String || b.type == ValueType::String;
            if (text) {
                const bool bothText = a.type == ValueType::String && b.type == ValueType::String;
                if (!bothText) {
                    std::fill(out.valid.begin(), out.valid.end(), 0);  // a null literal
                    return out;
                }
                if (op == "==")
                    apply([&](size_t i) { return a.str[i] == b.str[i]; });
                else if (op == "!=")
                    apply([&](size_t i) { return a.str[i] != b.str[i]; });
                else if (op == "<")
                    apply([&](size_t i) { return a.str[i] < b.str[i]; });
                else if (op == "<=")
                    apply([&](size_t i) { return a.str[i] <= b.str[i]; });
                else if (op == ">")
                    apply([&](size_t i) { return a.str[i] > b.str[i]; });
                else
                    apply([&](size_t i) { return a.str[i] >= b.str[i]; });
                return out;
            }
            const double* x = a.num.data();
            const double* y = b.num.data();
            if (op == "==")
                apply([&](size_t i) { return x[i] == y[i]; });
            else if (op == "!=")
                apply([&](size_t i) { return x[i] != y[i]; });
            else if (op == "<")
                apply([&](size_t i) { return x[i] < y[i]; });
            else if (op == "<=")
                apply([&](size_t i) { return x[i] <= y[i]; });
            else if (op == ">")
                apply([&](size_t i) { return x[i] > y[i]; });
            else
                apply([&](size_t i) { return x[i] >= y[i]; });
            return out;
        }
        case Node::Kind::And:
        case Node::Kind::Or: {
            const ValueVector& a = Eval(*node.kids[0], batch);
            const ValueVector& b = Eval(*node.kids[1], batch);
            Resize(out, ValueType::Bool, n);
            const bool isAnd = node.kind == Node::Kind::And;
            for (size_t i = 0; i < n; ++i) {
                const bool av = a.valid[i], bv = b.valid[i];
                const bool at = av && a.num[i] != 0, bt = bv && b.num[i] != 0;
                if (isAnd) {
                    const bool anyFalse = (av && !at) || (bv && !bt);
                    out.valid[i] = anyFalse || (av && bv);
                    out.num[i] = anyFalse ? 0.0 : 1.0;
                } else {
                    const bool anyTrue = at || bt;
                    out.valid[i] = anyTrue || (av && bv);
                    out.num[i] = anyTrue ? 1.0 : 0.0;
                }
            }
            return out;
        }
        case Node::Kind::Cond: {
            Resize(out, node.type == ValueType::Null ? ValueType::Real : node.type, n);
            out.type = node.type;
            std::vector<uint8_t> done(n, 0);
            std::fill(out.valid.begin(), out.valid.end(), 0);
            const size_t clauses = node.kids.size() / 2;
            auto take = [&](const ValueVector& v, size_t i) {
                out.valid[i] = v.valid[i];
                if (!v.valid[i])
                    return;
                if (node.type == ValueType::String)
                    out.str[i] = v.str[i];
                else
                    out.num[i] = v.num[i];
            };
            for (size_t c = 0; c < clauses; ++c) {
                const ValueVector& cond = Eval(*node.kids[2 * c], batch);
                std::vector<uint8_t> hit(n, 0);
                bool any = false;
                for (size_t i = 0; i < n; ++i) {
                    hit[i] = !done[i] && cond.valid[i] && cond.num[i] != 0;
                    any |= hit[i] != 0;
                }
                if (!any)
                    continue;
                const ValueVector& v = Eval(*node.kids[2 * c + 1], batch);
                for (size_t i = 0; i < n; ++i) {
                    if (hit[i]) {
                        take(v, i);
                        done[i] = 1;
                    }
                }
            }
            const ValueVector& otherwise = Eval(*node.kids.back(), batch);
            for (size_t i = 0; i < n; ++i) {
                if (!done[i])
                    take(otherwise, i);
            }
            return out;
        }
        case Node::Kind::Call:
            EvalCall(node, batch, out);
            return out;
        case Node::Kind::List:
        case Node::Kind::Tuple: {
            out.type = node.type;
            out.items.resize(node.kids.size());
            out.valid.assign(n, 1);
            for (size_t k = 0; k < node.kids.size(); ++k)
                out.items[k] = Eval(*node.kids[k], batch);
            return out;
        }
    }
    return out;
}

}  // namespace

CompiledExpression::~CompiledExpression() = default;

std::unique_ptr<CompiledExpression> CompiledExpression::Compile(
    const std::string& lambda, const std::vector<EngineField>& fields, const std::string& context) {
    std::unique_ptr<CompiledExpression> e(new CompiledExpression());
    // Peel the parameters: "ctx => x => BODY" binds the record to the last parameter.
    std::string_view rest = lambda;
    std::string record = "x";
    while (true) {
        size_t i = 0;
        while (i < rest.size() && std::isspace(static_cast<unsigned char>(rest[i])))
            ++i;
        size_t j = i;
        std::string last;
        if (j < rest.size() && rest[j] == '(') {
            const size_t close = rest.find(')', j);
            if (close == std::string_view::npos)
                break;
            std::string_view params = rest.substr(j + 1, close - j - 1);
            // The last parameter name, without its type.
            const size_t comma = params.rfind(',');
            std::string_view p =
                comma == std::string_view::npos ? params : params.substr(comma + 1);
            const size_t colon = p.find(':');
            if (colon != std::string_view::npos)
                p = p.substr(0, colon);
            while (!p.empty() && std::isspace(static_cast<unsigned char>(p.front())))
                p.remove_prefix(1);
            while (!p.empty() && std::isspace(static_cast<unsigned char>(p.back())))
                p.remove_suffix(1);
            last = std::string(p);
            j = close + 1;
        } else {
            while (j < rest.size() &&
                   (std::isalnum(static_cast<unsigned char>(rest[j])) || rest[j] == '_'))
                ++j;
            last = std::string(rest.substr(i, j - i));
        }
        size_t k = j;
        while (k < rest.size() && std::isspace(static_cast<unsigned char>(rest[k])))
            ++k;
        if (last.empty() || rest.substr(k, 2) != "=>")
            break;
        record = last;
        rest = rest.substr(k + 2);
    }
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front())))
        rest.remove_prefix(1);
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back())))
        rest.remove_suffix(1);
    e->text_ = std::string(rest);
    Parser parser(e->text_, fields, record, context, e->text_);
    e->root_ = parser.parseAll();
    return e;
}

ValueType CompiledExpression::type() const {
    return root_->type;
}

std::vector<ValueType> CompiledExpression::itemTypes() const {
    std::vector<ValueType> types;
    for (const auto& k : root_->kids)
        types.push_back(k->type);
    return types;
}

const ValueVector& CompiledExpression::evaluate(const Batch& batch) {
    return Eval(*root_, batch);
}

const ValueVector& CompiledExpression::evaluateItem(const Batch& batch, size_t index) {
    return Eval(*root_->kids.at(index), batch);
}

void AppendValue(Column& column, const ValueVector& values, size_t row) {
    if (!values.valid[row]) {
        column.appendMissing();
        return;
    }
    if (values.type == ValueType::List || values.type == ValueType::Tuple) {
        column.appendText(JsonText(values, row));
    } else if (column.isString()) {
        column.appendText(values.type == ValueType::String ? values.str[row]
                                                           : ScalarText(values, row));
    } else {
        column.appendNumber(values.num[row]);
    }
}

}  // namespace qelocal
