// Document-level compilation: dictionary, transformations, the model element's common parts.
#include <cmath>
#include <cstring>
#include <string>

#include "qeinteg/platform/host/scoring/PmmlCore.h"

namespace mcpmml {

namespace {

bool Is(const pugi::xml_node& node, const char* name) {
    return std::strcmp(node.name(), name) == 0;
}

const char* const kModelElements[] = {
    "RegressionModel", "GeneralRegressionModel", "TreeModel", "MiningModel",
    // Known PMML models this library does not score: named in the error.
    "AnomalyDetectionModel", "AssociationModel", "BayesianNetworkModel", "BaselineModel",
    "ClusteringModel", "GaussianProcessModel", "NaiveBayesModel", "NearestNeighborModel",
    "NeuralNetwork", "RuleSetModel", "Scorecard", "SequenceModel", "SupportVectorMachineModel",
    "TextModel", "TimeSeriesModel"};

bool IsModelElement(const char* name) {
    for (const char* n : kModelElements) {
        if (std::strcmp(name, n) == 0)
            return true;
    }
    return false;
}

// A mining field's missing-value replacement and outlier treatment, seen by the model in place of
// the field itself.
class TreatedField final : public Expr {
  public:
    enum Outliers { AsIs, AsMissing, AsExtreme };
    TreatedField(int slot, Cell replacement, Outliers outliers, double low, double high)
        : slot_(slot), replacement_(replacement), outliers_(outliers), low_(low), high_(high) {}
    Cell Eval(Context& ctx) const override {
        Cell v = ctx.Get(slot_);
        if (v.kind == Cell::Number && outliers_ != AsIs && (v.num < low_ || v.num > high_)) {
            if (outliers_ == AsMissing)
                v = Cell();
            else
                v.num = v.num < low_ ? low_ : high_;
        }
        return v.kind == Cell::Missing ? replacement_ : v;
    }

  private:
    int slot_;
    Cell replacement_;
    Outliers outliers_;
    double low_;
    double high_;
};

}  // namespace

bool Compiler::Fail(const std::string& message) {
    if (error_.empty())
        error_ = message;
    return false;
}

int Compiler::NewSlot(const std::string& name, DataType type, bool categorical) {
    doc_.slots.push_back(SlotInfo{name, type, categorical});
    doc_.derived.emplace_back();
    return static_cast<int>(doc_.slots.size()) - 1;
}

Scope& Compiler::NewScope(const Scope* parent) {
    scopes_.push_back(std::make_unique<Scope>(parent));
    return *scopes_.back();
}

int Compiler::Resolve(const Scope& scope, const std::string& name, const char* where) {
    const int slot = scope.Find(name);
    if (slot < 0)
        Fail(std::string("field '") + name + "' used in " + where + " is not defined");
    return slot;
}

DataType Compiler::ParseDataType(const std::string& text, bool& ok) {
    ok = true;
    if (text == "string")
        return DataType::String;
    if (text == "integer")
        return DataType::Integer;
    if (text == "double" || text == "float")
        return DataType::Double;
    if (text == "boolean")
        return DataType::Boolean;
    if (text == "date" || text.rfind("dateDaysSince[", 0) == 0)
        return DataType::Date;
    if (text == "time" || text == "timeSeconds")
        return DataType::Time;
    if (text == "dateTime" || text.rfind("dateTimeSecondsSince[", 0) == 0)
        return DataType::DateTime;
    ok = false;
    return DataType::Double;
}

bool Compiler::CompileDocument(const pugi::xml_node& pmml) {
    if (!pmml || !Is(pmml, "PMML"))
        return Fail(pmml ? std::string("the root element is '") + pmml.name() + "', not 'PMML'"
                         : std::string("the document has no root element"));
    const std::string version = pmml.attribute("version").value();
    if (version.rfind("4.", 0) != 0 && version.rfind("3.", 0) != 0)
        return Fail("PMML version '" + version + "' is not supported (4.x is)");
    Scope& global = NewScope(nullptr);

    const pugi::xml_node dictionary = pmml.child("DataDictionary");
    if (!dictionary)
        return Fail("the document has no DataDictionary");
    for (pugi::xml_node field : dictionary.children("DataField")) {
        const std::string name = field.attribute("name").value();
        bool ok = true;
        const std::string dataTypeText = field.attribute("dataType").as_string("double");
        const DataType type = ParseDataType(dataTypeText, ok);
        if (!ok)
            return Fail("unsupported dataType '" + dataTypeText + "' of DataField '" + name + "'");
        if (name.empty() || global.Find(name) >= 0)
            return Fail("DataField '" + name + "' is unnamed or defined twice");
        const std::string optype = field.attribute("optype").as_string("continuous");
        const int slot = NewSlot(name, type, optype != "continuous");
        global.Bind(name, slot);
        InputField input;
        input.name = name;
        input.slot = slot;
        input.type = type;
        auto since = [&](const char* prefix, bool& flag) {
            if (dataTypeText.rfind(prefix, 0) != 0)
                return true;
            const int year = std::atoi(dataTypeText.c_str() + std::strlen(prefix));
            if (year < 1583)
                return false;
            flag = true;
            input.sinceSeconds = year;  // the year; turned into host seconds by the computer
            return true;
        };
        if (!since("dateDaysSince[", input.daysSince) ||
            !since("dateTimeSecondsSince[", input.secondsSince))
            return Fail("unsupported dataType '" + dataTypeText + "' of DataField '" + name + "'");
        std::vector<std::string> categories;
        for (pugi::xml_node value : field.children("Value")) {
            const std::string property = value.attribute("property").as_string("valid");
            if (property == "missing")
                input.missingTexts.push_back(value.attribute("value").value());
            else if (property == "valid")
                categories.push_back(value.attribute("value").value());
        }
        dictionaryTypes[name] = type;
        if (optype != "continuous")
            dictionaryCategories[name] = categories;
        doc_.inputs.push_back(std::move(input));
    }
    if (const pugi::xml_node transforms = pmml.child("TransformationDictionary")) {
        if (!CompileTransformations(transforms, global))
            return false;
    }
    pugi::xml_node modelNode;
    for (pugi::xml_node child : pmml.children()) {
        if (child.type() != pugi::node_element)
            continue;
        if (IsModelElement(child.name())) {
            modelNode = child;
            break;
        }
        if (!Is(child, "DataDictionary") && !Is(child, "TransformationDictionary") &&
            !IsIgnorableElement(child.name()))
            return Fail(std::string("unsupported element '") + child.name() + "' in PMML");
    }
    if (!modelNode) {
        // Transformations only: every derived field is an output.
        if (!pmml.child("TransformationDictionary"))
            return Fail("the document has neither a model nor a TransformationDictionary");
        for (size_t slot = 0; slot < doc_.slots.size(); ++slot) {
            if (doc_.derived[slot])
                doc_.outputs.push_back(OutputVar{doc_.slots[slot].name, static_cast<int>(slot),
                                                 doc_.slots[slot].type});
        }
        return true;
    }
    doc_.model = CompileModel(modelNode, global, nullptr);
    if (!doc_.model)
        return false;
    for (const OutputField& out : doc_.model->outputs)
        doc_.outputs.push_back(OutputVar{out.name, out.slot, out.type});
    // The computer's inputs: the dictionary fields the model uses, in schema order.
    std::vector<InputField> inputs;
    for (const std::string& name : topActiveFields) {
        for (InputField& in : doc_.inputs) {
            if (in.name == name)
                inputs.push_back(in);
        }
    }
    doc_.inputs = std::move(inputs);
    return true;
}

std::unique_ptr<Model> Compiler::CompileModel(const pugi::xml_node& node, const Scope& parent,
                                              Scope* outputScope) {
    const std::string element = node.name();
    const std::string function = node.attribute("functionName").value();
    ModelHeader header;
    if (function == "classification") {
        header.classification = true;
    } else if (function != "regression") {
        Fail("functionName '" + function + "' of " + element + " is not supported");
        return nullptr;
    }
    const bool topLevel = depth_ == 0;
    Scope& scope = NewScope(&parent);

    // MiningSchema: usage types, the target, replacement of missing values and outliers.
    const pugi::xml_node schema = node.child("MiningSchema");
    if (!schema) {
        Fail(element + " has no MiningSchema");
        return nullptr;
    }
    for (pugi::xml_node field : schema.children("MiningField")) {
        const std::string name = field.attribute("name").value();
        const std::string usage = field.attribute("usageType").as_string("active");
        if (usage == "predicted" || usage == "target") {
            if (header.targetName.empty())
                header.targetName = name;
            continue;
        }
        if (usage != "active") {
            // supplementary, group, order, frequencyWeight, analysisWeight: not used in scoring.
            continue;
        }
        const int slot = Resolve(parent, name, "MiningField");
        if (slot < 0)
            return nullptr;
        if (topLevel)
            topActiveFields.push_back(name);
        const std::string outliers = field.attribute("outliers").as_string("asIs");
        const pugi::xml_attribute replacement = field.attribute("missingValueReplacement");
        if (!replacement && outliers == "asIs")
            continue;
        TreatedField::Outliers o = TreatedField::AsIs;
        if (outliers == "asMissingValues")
            o = TreatedField::AsMissing;
        else if (outliers == "asExtremeValues")
            o = TreatedField::AsExtreme;
        else if (outliers != "asIs") {
            Fail("unsupported outliers treatment '" + outliers + "' of MiningField '" + name + "'");
            return nullptr;
        }
        const SlotInfo info = Slot(slot);
        const Cell value = replacement ? Constant(replacement.value(), info.type) : Cell();
        const int treated = NewSlot(name, info.type, info.categorical);
        doc_.derived[static_cast<size_t>(treated)] = std::make_unique<TreatedField>(
            slot, value, o, field.attribute("lowValue").as_double(-HUGE_VAL),
            field.attribute("highValue").as_double(HUGE_VAL));
        scope.Bind(name, treated);
    }
    if (auto it = dictionaryTypes.find(header.targetName); it != dictionaryTypes.end())
        header.targetType = it->second;
    else if (header.classification)
        header.targetType = DataType::String;
    if (auto it = dictionaryCategories.find(header.targetName); it != dictionaryCategories.end())
        header.categories = it->second;
    if (const pugi::xml_node local = node.child("LocalTransformations")) {
        if (!CompileTransformations(local, scope))
            return nullptr;
    }

    ++depth_;
    std::unique_ptr<Model> model;
    if (element == "RegressionModel")
        model = CompileRegressionModel(*this, node, scope, header);
    else if (element == "GeneralRegressionModel")
        model = CompileGeneralRegressionModel(*this, node, scope, header);
    else if (element == "TreeModel")
        model = CompileTreeModel(*this, node, scope, header);
    else if (element == "MiningModel")
        model = CompileMiningModel(*this, node, scope, header);
    else
        Fail("unsupported model element '" + element + "'");
    --depth_;
    if (!model || Failed())
        return nullptr;

    // Categories as the target type gives them.
    for (const std::string& category : model->categories) {
        Cell cell = Constant(category, model->targetType);
        if (cell.kind == Cell::Missing)
            cell = Cell::Str(doc_.Keep(category));
        model->categoryCells.push_back(cell);
    }

    if (const pugi::xml_node targets = node.child("Targets")) {
        for (pugi::xml_node target : targets.children("Target")) {
            model->rescaleFactor = target.attribute("rescaleFactor").as_double(1);
            model->rescaleConstant = target.attribute("rescaleConstant").as_double(0);
            model->minValue = target.attribute("min").as_double(-HUGE_VAL);
            model->maxValue = target.attribute("max").as_double(HUGE_VAL);
            const std::string cast = target.attribute("castInteger").value();
            if (cast == "round")
                model->cast = Model::Round;
            else if (cast == "ceiling")
                model->cast = Model::Ceiling;
            else if (cast == "floor")
                model->cast = Model::Floor;
            else if (!cast.empty()) {
                Fail("unsupported castInteger '" + cast + "' in Target");
                return nullptr;
            }
        }
    }

    // Output fields: each gets a slot, visible to later output fields and, for segments, to later
    // segments of a chain.
    if (const pugi::xml_node output = node.child("Output")) {
        for (pugi::xml_node field : output.children()) {
            if (field.type() != pugi::node_element || IsIgnorableElement(field.name()))
                continue;
            if (!Is(field, "OutputField")) {
                Fail(std::string("unsupported element '") + field.name() + "' in Output");
                return nullptr;
            }
            OutputField out;
            out.name = field.attribute("name").value();
            const std::string feature = field.attribute("feature").as_string("predictedValue");
            if (feature == "predictedValue") {
                out.feature = OutputField::PredictedValue;
                out.type = model->classification ? model->targetType : DataType::Double;
            } else if (feature == "predictedDisplayValue") {
                out.feature = OutputField::PredictedDisplayValue;
                out.type = DataType::String;
            } else if (feature == "probability") {
                out.feature = OutputField::Probability;
                out.type = DataType::Double;
                if (field.attribute("value")) {
                    out.category = model->CategoryIndex(field.attribute("value").value());
                    if (out.category < 0) {
                        Fail("OutputField '" + out.name + "' asks for the probability of '" +
                             field.attribute("value").value() + "', not a category of the model");
                        return nullptr;
                    }
                }
            } else if (feature == "transformedValue") {
                out.feature = OutputField::TransformedValue;
                out.type = DataType::Double;
                pugi::xml_node exprNode;
                for (pugi::xml_node child : field.children()) {
                    if (child.type() == pugi::node_element && IsExpressionElement(child.name()))
                        exprNode = child;
                }
                if (!exprNode) {
                    Fail("OutputField '" + out.name + "' has no expression");
                    return nullptr;
                }
                out.expr = CompileExpr(exprNode, scope);
                if (!out.expr)
                    return nullptr;
            } else {
                Fail("Output feature '" + feature + "' of OutputField '" + out.name +
                     "' is not supported");
                return nullptr;
            }
            if (field.attribute("dataType")) {
                bool ok = true;
                out.type = ParseDataType(field.attribute("dataType").value(), ok);
                if (!ok) {
                    Fail(std::string("unsupported dataType '") +
                         field.attribute("dataType").value() + "' of OutputField '" + out.name +
                         "'");
                    return nullptr;
                }
            }
            out.slot = NewSlot(out.name, out.type, out.type == DataType::String);
            scope.Bind(out.name, out.slot);
            if (outputScope != nullptr)
                outputScope->Bind(out.name, out.slot);
            model->outputs.push_back(std::move(out));
        }
    } else if (topLevel) {
        // Without an Output element the model answers with its predicted value.
        OutputField out;
        out.name = header.targetName.empty() ? "predicted" : header.targetName;
        out.feature = OutputField::PredictedValue;
        out.type = model->classification ? model->targetType : DataType::Double;
        out.slot = NewSlot(out.name, out.type, model->classification);
        model->outputs.push_back(std::move(out));
    }
    model->scratchId = doc_.scratchCount++;
    return model;
}

}  // namespace mcpmml
