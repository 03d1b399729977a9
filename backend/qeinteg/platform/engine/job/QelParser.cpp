#include "qeinteg/platform/engine/job/QelParser.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <utility>

namespace qelocal {

namespace {

// Deeper nesting than this in a JSON value or a lambda is rejected rather than followed.
constexpr size_t kMaxNesting = 256;

struct Failure {
    size_t at;
    std::string message;
};

bool IsIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentChar(char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}

// A character for a message: printable ASCII as it is, anything else as \xNN.
std::string Describe(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7f)
        return std::string("'") + c + "'";
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
    return buffer;
}

class Parser {
  public:
    Parser(std::string_view text, JobGraph& graph) : text_(text), graph_(graph) {
        for (size_t i = 0; i < text_.size(); ++i) {
            if (text_[i] == '\n')
                lineStarts_.push_back(i + 1);
        }
    }

    void parse() {
        while (true) {
            skipBlank(true);
            if (atEnd())
                break;
            statement();
            skipBlank(false);
            if (!atEnd() && peek() != '\n')
                fail(pos_, "expected the end of the line, found " + Describe(peek()));
        }
    }

    SourcePos position(size_t at) const {
        if (at > text_.size())
            at = text_.size();
        auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), at);
        size_t lineStart = *(next - 1);
        return SourcePos{static_cast<int>(next - lineStarts_.begin()),
                         static_cast<int>(at - lineStart) + 1};
    }

  private:
    [[noreturn]] void fail(size_t at, std::string message) {
        throw Failure{at, std::move(message)};
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek(size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    bool lookingAt(std::string_view s) const { return text_.substr(pos_, s.size()) == s; }

    // Skips spaces and tabs (and carriage returns); line breaks too when newlines is set.
    void skipBlank(bool newlines) {
        while (!atEnd()) {
            char c = peek();
            if (c == ' ' || c == '\t' || c == '\r' || (newlines && c == '\n')) {
                ++pos_;
            } else {
                break;
            }
        }
    }

    std::string identifier(const char* what) {
        if (!IsIdentStart(peek())) {
            fail(pos_,
                 std::string("expected ") + what +
                     (atEnd() ? ", found the end of the text" : ", found " + Describe(peek())));
        }
        size_t start = pos_;
        while (!atEnd() && IsIdentChar(peek()))
            ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    // The identifier at pos_ without consuming it; empty when there is none.
    std::string_view peekIdentifier(size_t from) const {
        if (from >= text_.size() || !IsIdentStart(text_[from]))
            return {};
        size_t end = from;
        while (end < text_.size() && IsIdentChar(text_[end]))
            ++end;
        return text_.substr(from, end - from);
    }

    static bool IsJsonKeyword(std::string_view word) {
        return word == "true" || word == "false" || word == "null";
    }

    bool atJsonStart() const {
        char c = peek();
        return c == '{' || c == '[' || c == '"' || c == '-' || (c >= '0' && c <= '9') ||
               IsJsonKeyword(peekIdentifier(pos_));
    }

    void statement() {
        std::string_view word = peekIdentifier(pos_);
        char after = pos_ + word.size() < text_.size() ? text_[pos_ + word.size()] : '\0';
        if (word == "val" && (after == ' ' || after == '\t')) {
            binding();
        } else {
            pipeline("", pos_);
        }
    }

    void binding() {
        size_t start = pos_;
        pos_ += 3;
        skipBlank(false);
        size_t nameAt = pos_;
        std::string name = identifier("a name after 'val'");
        if (IsJsonKeyword(name) || name == "val")
            fail(nameAt, "'" + name + "' cannot be bound");
        if (names_.count(name) != 0)
            fail(nameAt, "'" + name + "' is already bound");
        skipBlank(false);
        if (peek() != '=' || peek(1) == '>')
            fail(pos_, "expected '=' after 'val " + name + "'");
        ++pos_;
        skipBlank(false);

        QelBinding b;
        b.name = name;
        b.pos = position(start);
        std::string_view word = peekIdentifier(pos_);
        size_t afterWord = pos_ + word.size();
        while (afterWord < text_.size() && (text_[afterWord] == ' ' || text_[afterWord] == '\t'))
            ++afterWord;
        bool arrowAfterWord = text_.substr(afterWord, 2) == "=>";
        if (peek() == '(' || (!word.empty() && !IsJsonKeyword(word) && arrowAfterWord)) {
            b.kind = QelBinding::Kind::Lambda;
            b.lambda = lambda();
        } else if (atJsonStart()) {
            b.kind = QelBinding::Kind::Json;
            b.json = json();
        } else if (!word.empty()) {
            b.kind = QelBinding::Kind::Pipeline;
            b.pipeline = pipeline(name, start);
        } else {
            fail(pos_, "expected a JSON value, a lambda or a pipeline after '='");
        }
        names_[name] = static_cast<int>(graph_.bindings.size());
        graph_.bindings.push_back(std::move(b));
    }

    // A lambda: "p => body" or "(p: T, q) => body"; the text runs to the end of the line, or
    // further while brackets are open. Checked for its head, balanced brackets and closed quotes.
    std::string lambda() {
        size_t start = pos_;
        if (peek() == '(') {
            size_t close = text_.find(')', pos_);
            size_t nl = text_.find('\n', pos_);
            if (close == std::string_view::npos || (nl != std::string_view::npos && nl < close)) {
                fail(pos_, "unclosed parameter list of a lambda");
            }
            pos_ = close + 1;
        } else {
            identifier("a lambda parameter");
        }
        skipBlank(false);
        if (!lookingAt("=>"))
            fail(pos_, "expected '=>' after the lambda parameters");
        pos_ += 2;
        skipBlank(false);
        if (atEnd() || peek() == '\n')
            fail(pos_, "the lambda has no body");

        std::vector<std::pair<char, size_t>> open;
        while (!atEnd()) {
            char c = peek();
            if (c == '\n' && open.empty())
                break;
            if (c == '"' || c == '`') {
                quoted(c);
                continue;
            }
            if (c == '(' || c == '[' || c == '{') {
                if (open.size() >= kMaxNesting)
                    fail(pos_, "brackets nested too deeply");
                open.emplace_back(c == '(' ? ')' : c == '[' ? ']' : '}', pos_);
            } else if (c == ')' || c == ']' || c == '}') {
                if (open.empty())
                    fail(pos_, "unmatched " + Describe(c) + " in a lambda");
                if (open.back().first != c) {
                    fail(pos_,
                         "expected " + Describe(open.back().first) + ", found " + Describe(c));
                }
                open.pop_back();
            }
            ++pos_;
        }
        if (!open.empty())
            fail(open.back().second, "bracket not closed in a lambda");
        size_t end = pos_;
        while (end > start &&
               (text_[end - 1] == ' ' || text_[end - 1] == '\t' || text_[end - 1] == '\r'))
            --end;
        return std::string(text_.substr(start, end - start));
    }

    // Skips a string ("...", backslash escapes) or a quoted name (`...`, `` for a backquote).
    void quoted(char quote) {
        size_t start = pos_++;
        while (!atEnd()) {
            char c = peek();
            if (c == '\n')
                break;
            if (quote == '"' && c == '\\') {
                pos_ = std::min(pos_ + 2, text_.size());
                continue;
            }
            ++pos_;
            if (c == quote) {
                if (quote == '`' && peek() == '`') {
                    ++pos_;
                    continue;
                }
                return;
            }
        }
        fail(start, quote == '"' ? "unterminated string" : "unterminated quoted name");
    }

    // One JSON value, checked strictly.
    JsonValue json() {
        size_t start = pos_;
        char c = peek();
        if (c == '{' || c == '[') {
            std::vector<char> open;
            while (!atEnd()) {
                c = peek();
                if (c == '"') {
                    jsonString();
                    continue;
                }
                if (c == '{' || c == '[') {
                    if (open.size() >= kMaxNesting)
                        fail(pos_, "JSON value nested too deeply");
                    open.push_back(c == '{' ? '}' : ']');
                } else if (c == '}' || c == ']') {
                    if (open.back() != c)
                        fail(pos_, "expected " + Describe(open.back()) + ", found " + Describe(c));
                    open.pop_back();
                    if (open.empty()) {
                        ++pos_;
                        break;
                    }
                }
                ++pos_;
            }
            if (!open.empty())
                fail(start, "JSON value not closed");
        } else if (c == '"') {
            jsonString();
        } else {
            while (!atEnd()) {
                c = peek();
                if (IsIdentChar(c) || c == '-' || c == '+' || c == '.') {
                    ++pos_;
                } else {
                    break;
                }
            }
        }
        std::string_view piece = text_.substr(start, pos_ - start);
        try {
            return JsonValue::parse(piece.begin(), piece.end());
        } catch (const nlohmann::json::parse_error& e) {
            std::string what = e.what();
            size_t colon = what.find(": ");
            std::string reason = colon == std::string::npos ? what : what.substr(colon + 2);
            size_t at = start + (e.byte > 0 ? e.byte - 1 : 0);
            if (at > pos_)
                at = pos_;
            fail(at, "invalid JSON value: " + reason);
        }
    }

    void jsonString() {
        size_t start = pos_++;
        while (!atEnd()) {
            char c = peek();
            if (c == '\\') {
                pos_ = std::min(pos_ + 2, text_.size());
                continue;
            }
            ++pos_;
            if (c == '"')
                return;
        }
        fail(start, "unterminated string");
    }

    // Parses "call -> call ..." and returns its index.
    int pipeline(const std::string& name, size_t start) {
        int index = static_cast<int>(graph_.pipelines.size());
        graph_.pipelines.push_back(QelPipeline{name, {}, position(start)});
        int previous = -1;
        while (true) {
            previous = call(index, previous);
            graph_.pipelines[index].calls.push_back(previous);
            size_t save = pos_;
            skipBlank(true);
            if (lookingAt("->")) {
                pos_ += 2;
                skipBlank(true);
            } else {
                pos_ = save;
                break;
            }
        }
        return index;
    }

    int call(int pipelineIndex, int previous) {
        QelCall c;
        c.pipeline = pipelineIndex;
        c.pos = position(pos_);
        c.function = identifier("a function call");
        skipBlank(false);
        if (peek() == ':') {
            ++pos_;
            skipBlank(false);
            c.ns = std::move(c.function);
            c.function = identifier("a function name after ':'");
            skipBlank(false);
        }
        if (peek() != '(') {
            fail(pos_,
                 "expected '(' after '" + (c.ns.empty() ? "" : c.ns + ":") + c.function + "'");
        }
        ++pos_;
        skipBlank(true);
        std::vector<size_t> starts;
        if (peek() == ')') {
            ++pos_;
        } else {
            while (true) {
                starts.push_back(pos_);
                c.args.push_back(argument());
                skipBlank(true);
                if (peek() == ',') {
                    ++pos_;
                    skipBlank(true);
                } else if (peek() == ')') {
                    ++pos_;
                    break;
                } else {
                    fail(pos_, atEnd() ? "expected ',' or ')', found the end of the text"
                                       : "expected ',' or ')', found " + Describe(peek()));
                }
            }
        }

        bool piped = false;
        for (size_t i = 0; i < c.args.size(); ++i) {
            const QelArgument& a = c.args[i];
            if (a.kind == QelArgument::Kind::Pipe) {
                if (previous < 0)
                    fail(starts[i], "'_' stands for the piped input, and nothing is piped here");
                if (piped)
                    fail(starts[i], "the piped input '_' is named twice");
                piped = true;
                c.inputs.push_back(QelInput{a.tag, previous});
            } else if (a.kind == QelArgument::Kind::Name) {
                const QelBinding& b = graph_.bindings[a.binding];
                if (b.kind == QelBinding::Kind::Pipeline) {
                    c.inputs.push_back(QelInput{a.tag, graph_.pipelines[b.pipeline].calls.back()});
                }
            }
        }
        if (previous >= 0 && !piped)
            c.inputs.insert(c.inputs.begin(), QelInput{"", previous});
        graph_.calls.push_back(std::move(c));
        return static_cast<int>(graph_.calls.size()) - 1;
    }

    QelArgument argument() {
        QelArgument a;
        size_t start = pos_;
        a.pos = position(start);
        std::string_view word = peekIdentifier(pos_);
        if (!word.empty() && !IsJsonKeyword(word)) {
            size_t after = pos_ + word.size();
            while (after < text_.size() && (text_[after] == ' ' || text_[after] == '\t'))
                ++after;
            if (after < text_.size() && text_[after] == '=' && text_.substr(after, 2) != "=>") {
                a.tag = std::string(word);
                pos_ = after + 1;
                skipBlank(false);
                word = peekIdentifier(pos_);
            }
        }
        if (word == "_") {
            a.kind = QelArgument::Kind::Pipe;
            ++pos_;
        } else if (atJsonStart()) {
            a.kind = QelArgument::Kind::Json;
            a.json = json();
        } else if (!word.empty()) {
            size_t nameAt = pos_;
            a.kind = QelArgument::Kind::Name;
            a.name = identifier("a name");
            auto found = names_.find(a.name);
            if (found == names_.end())
                fail(nameAt, "unknown name '" + a.name + "'");
            a.binding = found->second;
        } else {
            fail(pos_, atEnd() ? "expected an argument, found the end of the text"
                               : "expected '_', a name or a JSON value, found " + Describe(peek()));
        }
        return a;
    }

    std::string_view text_;
    JobGraph& graph_;
    size_t pos_ = 0;
    std::unordered_map<std::string, int> names_;
    std::vector<size_t> lineStarts_{0};
};

}  // namespace

std::string QelParseError::describe() const {
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

bool ParseQel(std::string_view text, JobGraph& graph, QelParseError& error) {
    graph = JobGraph{};
    error = QelParseError{};
    Parser parser(text, graph);
    try {
        parser.parse();
        return true;
    } catch (const Failure& failure) {
        SourcePos p = parser.position(failure.at);
        error.message = failure.message;
        error.line = p.line;
        error.column = p.column;
        graph = JobGraph{};
        return false;
    }
}

const QelBinding* JobGraph::findBinding(std::string_view name) const {
    for (const QelBinding& b : bindings) {
        if (b.name == name)
            return &b;
    }
    return nullptr;
}

std::vector<const JsonValue*> JobGraph::configurations(const QelCall& call) const {
    std::vector<const JsonValue*> out;
    for (const QelArgument& a : call.args) {
        if (a.kind == QelArgument::Kind::Json) {
            out.push_back(&a.json);
        } else if (a.kind == QelArgument::Kind::Name && a.binding >= 0 &&
                   bindings[a.binding].kind == QelBinding::Kind::Json) {
            out.push_back(&bindings[a.binding].json);
        }
    }
    return out;
}

std::vector<std::string> JobGraph::lambdas(const QelCall& call) const {
    std::vector<std::string> out;
    for (const QelArgument& a : call.args) {
        if (a.kind == QelArgument::Kind::Name && a.binding >= 0 &&
            bindings[a.binding].kind == QelBinding::Kind::Lambda) {
            out.push_back(bindings[a.binding].lambda);
        }
    }
    return out;
}

}  // namespace qelocal
