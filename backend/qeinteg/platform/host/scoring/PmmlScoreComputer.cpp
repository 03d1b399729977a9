#include "qeinteg/platform/host/scoring/PmmlScoreComputer.h"

#include <cmath>

#include "qeinteg/platform/host/scoring/MCMV.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace mcpmml {

using MCCommon_910::MCStatus;
using MCCommon_910::Value;
using MCCommon_910::ValueRecord;

namespace {

int StorageOf(DataType type) {
    switch (type) {
        case DataType::String:
            return 3;
        case DataType::Integer:
        case DataType::Boolean:
            return 1;
        case DataType::Double:
            return 2;
        case DataType::Date:
            return 4;
        case DataType::Time:
            return 5;
        case DataType::DateTime:
            return 6;
    }
    return 2;
}

int ValueTypeOf(DataType type) {
    switch (type) {
        case DataType::String:
            return Value::String;
        case DataType::Integer:
        case DataType::Boolean:
            return Value::Integer;
        default:
            return Value::Double;
    }
}

}  // namespace

PmmlScoreComputer::Variable::Variable(std::string name, DataType type)
    : name_(std::move(name)), valueType_(ValueTypeOf(type)), storage_(StorageOf(type)) {}

PmmlScoreComputer::PmmlScoreComputer(std::shared_ptr<const Document> doc)
    : doc_(std::move(doc)), ctx_(*doc_) {
    for (const InputField& in : doc_->inputs) {
        inputVars_.emplace_back(in.name, in.type);
        double epoch = 0;
        if (in.daysSince || in.secondsSince)
            epoch = qehost::HostDateNumber(static_cast<int>(in.sinceSeconds), 1, 1);
        epochs_.push_back(epoch);
        plain_.push_back(in.Plain() ? 1 : 0);
    }
    for (const OutputVar& out : doc_->outputs)
        outputVars_.emplace_back(out.name, out.type);
}

int PmmlScoreComputer::GetKind() const {
    return doc_->model ? RecordScorerKind : TransformationKind;
}

MCStatus PmmlScoreComputer::GetInputVariables(MCXML_910::MCVarList& list) const {
    for (const Variable& v : inputVars_)
        list.Add(&v);
    return MCStatus::Ok();
}

const MCXML_910::IMCVariable* PmmlScoreComputer::GetOutputVariable(int i) const {
    return &outputVars_.at(static_cast<size_t>(i));
}

MCStatus PmmlScoreComputer::PrepareOutputRecord(ValueRecord& output) const {
    output.Clear();
    for (const Variable& v : outputVars_)
        output.AddValue(v.GetName(), Value());
    return MCStatus::Ok();
}

void PmmlScoreComputer::Load(size_t i, const Value& value) {
    const InputField& in = doc_->inputs[i];
    Cell cell;
    switch (value.GetType()) {
        case Value::Missing:
            break;
        case Value::String: {
            const std::string& text = value.GetString();
            if (!IsNumeric(in.type)) {
                cell = Cell::Str(text);
            } else {
                double v;
                if (ParseNumber(text, v, in.type == DataType::Boolean))
                    cell = Cell::Num(v);
            }
            break;
        }
        default: {
            double v = value.GetDouble();
            if (in.type == DataType::String) {
                cell = Cell::Str(ctx_.Keep(FormatNumber(v)));
            } else {
                // Dates arrive in host seconds; a model counting from its own epoch gets days or
                // seconds since then.
                if (in.daysSince)
                    v = std::floor((v - epochs_[i]) / 86400.0);
                else if (in.secondsSince)
                    v -= epochs_[i];
                cell = Cell::Num(in.type == DataType::Integer ? std::trunc(v) : v);
            }
            break;
        }
    }
    if (cell.kind != Cell::Missing && !in.missingTexts.empty()) {
        for (const std::string& m : in.missingTexts) {
            double v;
            if ((cell.kind == Cell::Text && cell.text == m) ||
                (cell.kind == Cell::Number && ParseNumber(m, v) && v == cell.num))
                cell = Cell();
        }
    }
    ctx_.Set(in.slot, cell);
}

MCStatus PmmlScoreComputer::Score(const ValueRecord& input, ValueRecord& output, void* reserved) {
    (void)reserved;
    if (output.Size() != static_cast<int>(outputVars_.size()) ||
        output.LayoutId() != outputLayout_) {
        // Accept any record whose names are ours in order (a prepared record or a copy of one).
        bool ok = output.Size() == static_cast<int>(outputVars_.size());
        for (int i = 0; ok && i < output.Size(); ++i)
            ok = output.GetName(i) == outputVars_[static_cast<size_t>(i)].GetName();
        if (!ok)
            return MCStatus::Fail("the output record was not prepared by this score computer");
        outputLayout_ = output.LayoutId();
    }
    if (input.LayoutId() != boundLayout_) {
        binding_.assign(inputVars_.size(), -1);
        for (size_t i = 0; i < inputVars_.size(); ++i) {
            binding_[i] = input.Find(inputVars_[i].GetName());
            if (binding_[i] < 0) {
                boundLayout_ = 0;
                for (int j = 0; j < output.Size(); ++j)
                    output.At(j).SetMissing();
                return MCStatus::Fail("the input record has no value for '" +
                                      inputVars_[i].GetName() + "'");
            }
        }
        boundLayout_ = input.LayoutId();
    }
    ctx_.Begin();
    for (size_t i = 0; i < binding_.size(); ++i) {
        const Value& value = input.At(binding_[i]);
        if (plain_[i] && value.GetType() == Value::Double)
            ctx_.Set(doc_->inputs[i].slot, Cell::Num(value.GetDouble()));
        else
            Load(i, value);
    }
    if (doc_->model) {
        ModelResult& result = ctx_.Scratch(doc_->model->scratchId);
        doc_->model->Run(ctx_, result);
    }
    for (size_t j = 0; j < outputVars_.size(); ++j) {
        const Cell& cell = ctx_.Get(doc_->outputs[j].slot);
        Value& out = output.At(static_cast<int>(j));
        if (cell.kind == Cell::Number)
            out.SetDouble(cell.num);
        else if (cell.kind == Cell::Text)
            out.SetString(cell.text);
        else
            out.SetMissing();
    }
    return MCStatus::Ok();
}

MCXML_910::IMCScoreComputer* PmmlScoreComputer::Clone() const {
    return new PmmlScoreComputer(doc_);
}

}  // namespace mcpmml
