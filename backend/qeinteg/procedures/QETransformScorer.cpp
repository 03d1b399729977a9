#include "qeinteg/procedures/QETransformScorer.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <unordered_map>

#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/platform/host/scoring/MCMV.h"
#include "qeinteg/platform/host/scoring/MCMathFun.h"
#include "qeinteg/platform/host/scoring/MCScorerFactory.h"
#include "qeinteg/platform/host/text/TavoVarName.h"

namespace {

using MCCommon_910::MCMV;
using MCCommon_910::Value;
using MCCommon_910::ValueRecord;

// Releases the host code-page converter.
struct ConverterDeleter {
    void operator()(void* converter) const { TAVOMBConverterDelete_A(converter); }
};
using ConverterHandle = std::unique_ptr<void, ConverterDeleter>;

// A number from a row iterator, or missing: null data, the system-missing value and NaN are all
// "no value".
bool ReadNumber(const void* data, double& value) {
    if (data == nullptr)
        return false;
    std::memcpy(&value, data, sizeof value);
    return !MCMV::IsMissing(value);
}

}  // namespace

class QETransformScorer::Impl {
  public:
    Impl() : inputRecord(2), outputRecord(2), converter(TAVOMBConverterNew_A(nullptr)) {}

    Impl(const Impl& other)
        : metadata(other.metadata ? std::make_unique<CFMetaData>(*other.metadata) : nullptr),
          iterator(other.iterator),
          missingValue(other.missingValue),
          inputCount(other.inputCount),
          outputCount(other.outputCount),
          targetValues(other.targetValues),
          scoreComputer(other.scoreComputer ? other.scoreComputer->Clone() : nullptr),
          inputRecord(other.inputRecord),
          outputRecord(other.outputRecord),
          inputNames(other.inputNames),
          inputFieldIndexes(other.inputFieldIndexes),
          inputStorages(other.inputStorages),
          outputNames(other.outputNames),
          outputIndexes(other.outputIndexes),
          converter(TAVOMBConverterNew_A(nullptr)),
          prepared(other.prepared) {}

    // Back to the state of a new scorer.
    void Reset() {
        metadata.reset();
        iterator = nullptr;
        inputCount = 0;
        outputCount = 0;
        targetValues.clear();
        scoreComputer.reset();
        inputRecord.Clear();
        outputRecord.Clear();
        inputNames.clear();
        inputFieldIndexes.clear();
        inputStorages.clear();
        outputNames.clear();
        outputIndexes.clear();
        prepared = false;
        error.clear();
    }

    bool Fail(std::string message) {
        error = std::move(message);
        return false;
    }

    bool Prepare(EmbeddedQE::RowDataIterator* it, const std::string& modelText,
                 const std::vector<std::string>& requested, bool namesInUtf8);
    bool Score();

    std::unique_ptr<CFMetaData> metadata;
    EmbeddedQE::RowDataIterator* iterator = nullptr;
    CFUpperFuncImpl upper;
    double missingValue = MCMV::Missing();
    int32_t inputCount = 0;
    int32_t outputCount = 0;
    std::vector<double> targetValues;
    std::unique_ptr<MCXML_910::IMCScoreComputer> scoreComputer;
    ValueRecord inputRecord;
    ValueRecord outputRecord;
    std::vector<std::string> inputNames;
    std::vector<int32_t> inputFieldIndexes;
    std::vector<int32_t> inputStorages;
    std::vector<std::string> outputNames;
    std::vector<int32_t> outputIndexes;
    ConverterHandle converter;
    bool prepared = false;
    std::string error;
};

bool QETransformScorer::Impl::Prepare(EmbeddedQE::RowDataIterator* it, const std::string& modelText,
                                      const std::vector<std::string>& requested, bool namesInUtf8) {
    Reset();
    if (it == nullptr)
        return Fail("no row iterator to score");
    if (modelText.empty())
        return Fail("the model text is empty");

    MCXML_910::MCSettings settings;
    std::istringstream stream(modelText);
    scoreComputer.reset(MCScoring_910::MCScorerFactory::CreateMCScoringObject(settings, stream));
    if (!scoreComputer)
        return Fail("the model cannot be read: " + settings.GetErrorMessage());
    if (scoreComputer->GetKind() != MCXML_910::IMCScoreComputer::RecordScorerKind) {
        const int kind = scoreComputer->GetKind();
        scoreComputer.reset();
        return Fail("the document is not a model that scores records (kind " +
                    std::to_string(kind) + ")");
    }

    iterator = it;
    metadata = std::make_unique<CFMetaData>(it->getDataModel());
    // Field lookup in the host's sense: exact name first, else the same name in another case.
    std::unordered_map<std::string, int> upperFields;
    for (int i = metadata->FieldCount() - 1; i >= 0; --i)
        upperFields[upper(metadata->GetField(i).GetName())] = i;

    MCXML_910::MCVarList inputs;
    const MCCommon_910::MCStatus listed = scoreComputer->GetInputVariables(inputs);
    if (listed.IsError())
        return Fail("the model's inputs cannot be listed: " + listed.GetMessage());
    for (int i = 0; i < inputs.Count(); ++i) {
        const MCXML_910::IMCVariable* variable = inputs.Get(i);
        const int valueType = variable->GetValueType();
        const int storage = variable->GetStorage();
        const std::string& name = variable->GetName();
        int field = metadata->FindField(name);
        if (field < 0) {
            auto found = upperFields.find(upper(name));
            field = found == upperFields.end() ? -1 : found->second;
        }
        if (field < 0)
            return Fail("the model input '" + name + "' is not a field of the data");
        const bool fieldIsString = metadata->GetField(field).GetStorage() == CFField::String;
        if ((valueType == Value::String) != fieldIsString ||
            (storage == CFField::String) != fieldIsString)
            return Fail("the model input '" + name + "' is " +
                        (valueType == Value::String ? "a string" : "a number") +
                        " but the data field is " + (fieldIsString ? "a string" : "a number"));
        inputRecord.AddValue(name, valueType == Value::String ? Value("") : Value(missingValue));
        inputNames.push_back(name);
        inputFieldIndexes.push_back(field);
        inputStorages.push_back(storage);
    }
    inputCount = static_cast<int32_t>(inputNames.size());

    std::unordered_map<std::string, int> upperOutputs;
    const int count = scoreComputer->GetOutputCount();
    for (int j = 0; j < count; ++j) {
        const MCXML_910::IMCVariable* variable = scoreComputer->GetOutputVariable(j);
        if (variable->GetValueType() == Value::String)
            return Fail("the model output '" + variable->GetName() +
                        "' is a string; only numeric outputs can be scored");
        outputNames.push_back(variable->GetName());
        upperOutputs.emplace(upper(variable->GetName()), j);
    }
    if (requested.empty()) {
        for (int j = 0; j < count; ++j)
            outputIndexes.push_back(j);
    } else {
        for (const std::string& name : requested) {
            std::string utf8 = name;
            if (!namesInUtf8)
                TAVOMBGenericToU8(name, utf8, converter.get());
            auto found = upperOutputs.find(upper(utf8));
            if (found == upperOutputs.end())
                return Fail("the model has no output '" + utf8 + "'");
            outputIndexes.push_back(found->second);
        }
    }
    outputCount = static_cast<int32_t>(outputIndexes.size());
    const MCCommon_910::MCStatus made = scoreComputer->PrepareOutputRecord(outputRecord);
    if (made.IsError())
        return Fail("the output record cannot be prepared: " + made.GetMessage());
    targetValues.assign(static_cast<size_t>(outputCount), missingValue);
    prepared = true;
    return true;
}

bool QETransformScorer::Impl::Score() {
    if (!prepared) {
        error = "the scorer is not prepared";
        return false;
    }
    for (int32_t i = 0; i < inputCount; ++i) {
        const void* data = nullptr;
        size_t length = 0;
        const uint32_t status = iterator->getRecordValue(
            static_cast<size_t>(inputFieldIndexes[static_cast<size_t>(i)]), &data, &length);
        if (status != 0) {
            std::fill(targetValues.begin(), targetValues.end(), missingValue);
            error = "the value of '" + inputNames[static_cast<size_t>(i)] +
                    "' cannot be read (status " + std::to_string(status) + ")";
            return false;
        }
        Value& value = inputRecord.At(i);
        double number = 0;
        switch (inputStorages[static_cast<size_t>(i)]) {
            case CFField::Integer:
                // Row iterators hand every number over as a double.
                if (ReadNumber(data, number) && std::fabs(number) < 9.2e18)
                    value.SetInteger(static_cast<int64_t>(std::llround(number)));
                else
                    value.SetMissing();
                break;
            case CFField::String:
                if (data == nullptr)
                    value.SetString("");
                else
                    value.SetString(std::string_view(static_cast<const char*>(data), length));
                break;
            case CFField::Date:
                if (ReadNumber(data, number))
                    value.SetDouble(GetBaseDateNumber() + number * 86400.0);
                else
                    value.SetMissing();
                break;
            case CFField::Timestamp:
                if (ReadNumber(data, number))
                    value.SetDouble(GetBaseDateNumber() + number);
                else
                    value.SetMissing();
                break;
            default:
                if (ReadNumber(data, number))
                    value.SetDouble(number);
                else
                    value.SetMissing();
                break;
        }
    }
    const MCCommon_910::MCStatus status = scoreComputer->Score(inputRecord, outputRecord, nullptr);
    if (status.IsError()) {
        std::fill(targetValues.begin(), targetValues.end(), missingValue);
        error = "the model could not score the record: " + status.GetMessage();
        return false;
    }
    for (size_t j = 0; j < outputIndexes.size(); ++j)
        targetValues[j] = outputRecord.GetDouble(outputIndexes[j]);
    error.clear();
    return true;
}

QETransformScorer::QETransformScorer() : impl_(new Impl()) {}

QETransformScorer::QETransformScorer(const QETransformScorer& other)
    : impl_(new Impl(*other.impl_)) {}

QETransformScorer::~QETransformScorer() {
    delete impl_;
}

bool QETransformScorer::PrepareScoring(EmbeddedQE::RowDataIterator* iterator,
                                       const std::string& modelText,
                                       const std::vector<std::string>& outputNames,
                                       bool namesInUtf8) {
    const bool ok = impl_->Prepare(iterator, modelText, outputNames, namesInUtf8);
    if (!ok) {
        // Leave nothing half-prepared behind.
        std::string error = impl_->error;
        impl_->Reset();
        impl_->error = std::move(error);
    }
    return ok;
}

bool QETransformScorer::ScoreRecord() {
    return impl_->Score();
}

const std::vector<std::string>& QETransformScorer::GetInputModelVarNames() const {
    return impl_->inputNames;
}

const std::vector<std::string>& QETransformScorer::GetOutputModelVarNames() const {
    return impl_->outputNames;
}

const std::vector<double>& QETransformScorer::GetTargetValues() const {
    return impl_->targetValues;
}

bool QETransformScorer::IsValidDouble(double value) const {
    return MCMath_910::MCMathFun::IsValidDouble(value);
}

const std::string& QETransformScorer::GetLastError() const {
    return impl_->error;
}
