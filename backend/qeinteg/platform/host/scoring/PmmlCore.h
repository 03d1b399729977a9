// The compiled form of a PMML document and the per-record state that evaluates it.
//
// Compilation turns the XML into slots (one per field: dictionary inputs, derived fields, mining
// field treatments, output fields), expression trees and flat model structures, so that scoring a
// record never looks at the XML again. A Document is immutable after compilation and may be shared
// by any number of Contexts; a Context belongs to one thread.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace mcpmml {

// PMML data types, with the date forms reduced to what the value means.
enum class DataType { String, Integer, Double, Boolean, Date, Time, DateTime };

inline bool IsNumeric(DataType type) {
    return type != DataType::String;
}

// One value during evaluation. Text points into the document's constants, the input record or the
// context's per-record strings, all alive while the record is scored.
struct Cell {
    enum Kind : uint8_t { Missing = 0, Number = 1, Text = 2 };
    Kind kind = Missing;
    double num = 0;
    std::string_view text;

    static Cell Num(double value) {
        Cell c;
        c.kind = Number;
        c.num = value;
        return c;
    }
    static Cell Str(std::string_view value) {
        Cell c;
        c.kind = Text;
        c.text = value;
        return c;
    }
    bool IsMissing() const { return kind == Missing; }
};

// Strict decimal parse of the whole text (blanks around it allowed); "true"/"false" give 1/0 when
// `booleans` is set.
bool ParseNumber(std::string_view text, double& value, bool booleans = false);
// Shortest text that reads back to the same double.
std::string FormatNumber(double value);

class Context;
class Model;

// A derived value.
class Expr {
  public:
    virtual ~Expr() = default;
    virtual Cell Eval(Context& ctx) const = 0;
};

enum class Truth : uint8_t { False = 0, True = 1, Unknown = 2 };

class PredicateNode;

// A predicate, flat for the common comparisons so that tree walking costs no virtual call.
struct Predicate {
    enum Kind : uint8_t { AlwaysTrue, AlwaysFalse, Compare, IsMissing, IsNotMissing, Complex };
    enum Op : uint8_t { Eq, Ne, Lt, Le, Gt, Ge };
    Kind kind = AlwaysTrue;
    Op op = Eq;
    bool numericConst = false;
    int slot = -1;
    double number = 0;
    std::string_view text;
    std::shared_ptr<const PredicateNode> complex;

    Truth Eval(Context& ctx) const;
};

class PredicateNode {
  public:
    virtual ~PredicateNode() = default;
    virtual Truth Eval(Context& ctx) const = 0;
};

// Compares a value with a constant: numbers numerically, texts as texts.
Truth CompareCell(Context& ctx, const Cell& value, Predicate::Op op, bool numericConst,
                  double number, std::string_view text);

// What a model found for one record.
struct ModelResult {
    bool valid = false;
    double value = 0;   // regression prediction
    int category = -1;  // classification: index into the model's categories
    std::vector<double> probs;
};

// An output field of a model: computed into its slot after the model has run.
struct OutputField {
    enum Feature { PredictedValue, PredictedDisplayValue, Probability, TransformedValue };
    std::string name;
    int slot = -1;
    Feature feature = PredictedValue;
    DataType type = DataType::Double;
    int category = -1;  // probability of this category; -1 = of the predicted one
    std::unique_ptr<Expr> expr;
};

// A compiled model. Run evaluates it, applies the target rescaling and picks the predicted
// category, then fills the model's output fields.
class Model {
  public:
    virtual ~Model() = default;
    void Run(Context& ctx, ModelResult& result) const;
    // The predicted value as a cell (category text or number); missing when not valid.
    Cell Predicted(const ModelResult& result) const;
    int CategoryIndex(std::string_view text) const;

    bool classification = false;
    DataType targetType = DataType::Double;
    std::string targetName;
    std::vector<std::string> categories;
    std::vector<Cell> categoryCells;  // each category as its target type gives it
    // Target rescaling (regression).
    double rescaleFactor = 1;
    double rescaleConstant = 0;
    double minValue = -1.0 / 0.0;
    double maxValue = 1.0 / 0.0;
    enum Cast { NoCast, Round, Ceiling, Floor } cast = NoCast;
    std::vector<OutputField> outputs;
    int scratchId = -1;

  protected:
    virtual void Evaluate(Context& ctx, ModelResult& result) const = 0;
};

struct SlotInfo {
    std::string name;
    DataType type = DataType::Double;
    bool categorical = false;
};

// A field the caller supplies.
struct InputField {
    std::string name;
    int slot = -1;
    DataType type = DataType::Double;
    int64_t sinceSeconds = 0;  // dateDaysSince/dateTimeSecondsSince: host seconds of the epoch
    bool daysSince = false;
    bool secondsSince = false;
    std::vector<std::string> missingTexts;  // dictionary values declared missing
    // A double goes into the slot as it is: a double field without epoch or missing values.
    bool Plain() const {
        return type == DataType::Double && !daysSince && !secondsSince && missingTexts.empty();
    }
};

// An output variable of the score computer.
struct OutputVar {
    std::string name;
    int slot = -1;
    DataType type = DataType::Double;
};

class Document {
  public:
    std::vector<SlotInfo> slots;
    std::vector<std::unique_ptr<Expr>> derived;  // by slot; null for slots set directly
    std::vector<InputField> inputs;
    std::vector<OutputVar> outputs;
    std::unique_ptr<Model> model;  // null for a transformation-only document
    int scratchCount = 0;

    // Keeps a constant text alive for the document's life; returns a view of it.
    std::string_view Keep(std::string text);

  private:
    std::deque<std::string> constants_;
};

// Per-record evaluation state over a Document.
class Context {
  public:
    explicit Context(const Document& doc);

    // Starts a new record: every slot becomes unset.
    void Begin();
    const Cell& Get(int slot) {
        if (stamps_[static_cast<size_t>(slot)] == generation_)
            return cells_[static_cast<size_t>(slot)];
        return Compute(slot);
    }
    void Set(int slot, Cell value) {
        cells_[static_cast<size_t>(slot)] = value;
        stamps_[static_cast<size_t>(slot)] = generation_;
    }
    // Keeps a text alive until the next Begin; returns a view of it.
    std::string_view Keep(std::string text);
    ModelResult& Scratch(int id) { return scratch_[static_cast<size_t>(id)]; }
    const Document& Doc() const { return doc_; }

  private:
    const Cell& Compute(int slot);

    const Document& doc_;
    std::vector<Cell> cells_;
    std::vector<uint32_t> stamps_;
    std::vector<uint8_t> busy_;
    int depth_ = 0;  // derived fields being computed, one inside the other
    uint32_t generation_ = 0;
    std::deque<std::string> strings_;
    std::vector<ModelResult> scratch_;
};

// Names visible at one point of the document, each bound to a slot.
class Scope {
  public:
    explicit Scope(const Scope* parent = nullptr) : parent_(parent) {}
    int Find(const std::string& name) const;
    void Bind(const std::string& name, int slot) { names_[name] = slot; }

  private:
    const Scope* parent_;
    std::map<std::string, int> names_;
};

// Compiles a parsed PMML document. Each Compile* returns null / false after recording the first
// error, which names the element or attribute at fault.
class Compiler {
  public:
    explicit Compiler(Document& doc) : doc_(doc) {}

    bool CompileDocument(const pugi::xml_node& pmml);
    const std::string& Error() const { return error_; }

    // Used by the expression and model compilers.
    bool Fail(const std::string& message);
    bool Failed() const { return !error_.empty(); }
    Document& Doc() { return doc_; }
    int NewSlot(const std::string& name, DataType type, bool categorical);
    // The slot of a field name in scope; fails naming the field when there is none.
    int Resolve(const Scope& scope, const std::string& name, const char* where);
    std::unique_ptr<Expr> CompileExpr(const pugi::xml_node& node, const Scope& scope);
    // The expression child of a DerivedField, Apply argument list etc.; null when none.
    static bool IsExpressionElement(const char* name);
    bool CompilePredicate(const pugi::xml_node& node, const Scope& scope, Predicate& out);
    static bool IsPredicateElement(const char* name);
    // A constant of the type of `slot` (numbers parsed, texts kept).
    Cell Constant(const std::string& text, DataType type);
    // Compiles DerivedFields of a TransformationDictionary or LocalTransformations into `scope`.
    bool CompileTransformations(const pugi::xml_node& node, Scope& scope);
    // Compiles a model element (with its MiningSchema, LocalTransformations, Targets and Output)
    // in a scope derived from `parent`; output field names are bound into `outputScope`.
    std::unique_ptr<Model> CompileModel(const pugi::xml_node& node, const Scope& parent,
                                        Scope* outputScope);
    static DataType ParseDataType(const std::string& text, bool& ok);
    const SlotInfo& Slot(int slot) const { return doc_.slots.at(static_cast<size_t>(slot)); }

    // The dictionary's categories of a field (valid Values in order); empty when none.
    std::map<std::string, std::vector<std::string>> dictionaryCategories;
    std::map<std::string, DataType> dictionaryTypes;
    // A new scope that lives as long as the compiler.
    Scope& NewScope(const Scope* parent);
    // Dictionary fields that the top-level model uses as active inputs, in schema order.
    std::vector<std::string> topActiveFields;

  private:
    std::deque<std::unique_ptr<Scope>> scopes_;
    int depth_ = 0;
    Document& doc_;
    std::string error_;
};

// What the common part of a model element says about its target, handed to the model compilers.
struct ModelHeader {
    bool classification = false;
    std::string targetName;
    DataType targetType = DataType::Double;
    std::vector<std::string> categories;  // from the dictionary; models may add more
};

// Model compilers (PmmlModels.cpp): each makes its model with the header's target and fills the
// model-specific part; common parts (schema, targets, outputs) are done by Compiler::CompileModel.
std::unique_ptr<Model> CompileRegressionModel(Compiler& c, const pugi::xml_node& node, Scope& scope,
                                              const ModelHeader& header);
std::unique_ptr<Model> CompileGeneralRegressionModel(Compiler& c, const pugi::xml_node& node,
                                                     Scope& scope, const ModelHeader& header);
std::unique_ptr<Model> CompileTreeModel(Compiler& c, const pugi::xml_node& node, Scope& scope,
                                        const ModelHeader& header);
std::unique_ptr<Model> CompileMiningModel(Compiler& c, const pugi::xml_node& node, Scope& scope,
                                          const ModelHeader& header);
// Sets the header's target into a new model.
void ApplyHeader(Model& model, const ModelHeader& header);
// The index of a category, added at the end when new.
int CategoryIndexOrAdd(Model& model, const std::string& text);

// Elements any PMML element may carry without changing what it computes.
bool IsIgnorableElement(const char* name);

}  // namespace mcpmml
