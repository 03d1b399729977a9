#include "qeinteg/data/QEDataModel.h"

#include <algorithm>
#include <cstring>

#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/host/data/TAVO_ValueLabelMap.h"
#include "qeinteg/platform/host/metadata/CFFieldFormat.h"
#include "qeinteg/platform/host/metadata/NumericStorage.h"
#include "qeinteg/platform/host/process/ParserMessage.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/FormatType.h"

namespace {

using MeasurementLevel = TAVO_Variable_Enumerations::MeasurementLevel;

// The host's code-page converter, released with the model; a copy gets its own.
class Converter {
  public:
    Converter() : handle_(TAVOMBConverterNew_A(nullptr)) {}
    Converter(const Converter&) : Converter() {}
    Converter& operator=(const Converter&) { return *this; }
    ~Converter() { TAVOMBConverterDelete_A(handle_); }

    std::string ToUtf8(const std::string& text) const {
        return transcodeToUTF8(text.c_str(), handle_);
    }
    std::string FromUtf8(const std::string& text) const {
        return transcodeFromUTF8(text.c_str(), handle_);
    }

  private:
    void* handle_;
};

CFField::FieldType MeasureOf(int level, bool isString) {
    switch (level) {
        case 0:
        case 3:
            return isString ? CFField::Nominal : CFField::Continuous;
        case 1:
            return CFField::Nominal;
        case 2:
            return CFField::Ordinal;
        default:
            return CFField::Typeless;
    }
}

CFField::StorageType StorageOf(int formatType) {
    if (qehost::IsStringFormat(formatType))
        return CFField::String;
    if (qehost::IsTimestampFormat(formatType))
        return CFField::Timestamp;
    if (qehost::IsDateFormat(formatType))
        return CFField::Date;
    if (qehost::IsTimeFormat(formatType))
        return CFField::Time;
    return CFField::Real;
}

CFField::RoleType HostRoleOf(int role) {
    switch (role) {
        case 1:
            return CFField::Target;
        case 2:
            return CFField::Both;
        case 3:
            return CFField::None;
        case 4:
            return CFField::Partition;
        default:
            return CFField::Input;
    }
}

}  // namespace

class QEDataModel::Impl {
  public:
    const TAVO_DataSource* source = nullptr;
    int weightIndex = -1;
    bool markWeight = false;
    std::vector<int> splitIndexes;
    bool useSplits = false;
    bool addCaseCount = false;
    CFMetaData fullMetadata;
    std::string fullDataModel;
    CFMetaData analysisMetadata;
    std::string analysisDataModel;
    std::vector<int> analysisIndexes;
    Converter converter;
    // Translates the case-count label; each model has its own.
    ParserMessage catalogue;

    void CreateDictMetadata() {
        fullMetadata.Clear();
        for (int i = 0; i < source->ColumnCount(); ++i) {
            AppendDictField(fullMetadata, i, source->GetVariable(i).GetMeasurementLevel());
        }
        if (addCaseCount)
            fullMetadata.AddField(CaseCountField());
        fullMetadata.ExportXMLDoc(fullDataModel);
    }

    CFField CaseCountField() const {
        CFField field("$casecount", CFField::Continuous, CFField::Real, CFField::RecordId);
        field.SetLabel(converter.ToUtf8(catalogue.GetTranslatedText("Case Count")));
        return field;
    }

    void AppendDictField(CFMetaData& metadata, int index, int level) const {
        const TAVO_Variable& variable = source->GetVariable(index);
        const bool isString = variable.GetType() > 0;
        const CFField::FieldType measure = MeasureOf(level, isString);
        const CFField::StorageType storage = StorageOf(variable.GetFormat().type);
        CFField::RoleType role;
        if (markWeight && index == weightIndex) {
            role = CFField::FreqWeight;
        } else if (useSplits && !splitIndexes.empty()) {
            const bool isSplit =
                std::find(splitIndexes.begin(), splitIndexes.end(), index) != splitIndexes.end();
            role = isSplit ? CFField::Split : CFField::Input;
        } else {
            role = HostRoleOf(variable.GetRole());
        }
        CFField field(converter.ToUtf8(variable.GetName()), measure, storage, role);
        std::string format = GetCFFieldFormat(variable);
        if (!format.empty())
            field.SetPrivateFormat(std::move(format));
        std::string label = converter.ToUtf8(variable.GetLabel());
        if (!label.empty())
            field.SetLabel(std::move(label));
        SetValueLabels(field, variable);
        SetMissingValues(field, variable);
        metadata.AddField(std::move(field));
    }

    void SetValueLabels(CFField& field, const TAVO_Variable& variable) const {
        TAVO_ValueLabelMap map(variable);
        map.Reset();
        std::vector<CFValue> values;
        const OBS* value = nullptr;
        const char* label = nullptr;
        const bool isString = variable.GetType() > 0;
        while (map.GetNextPair(value, label)) {
            std::string text = label != nullptr ? converter.ToUtf8(label) : std::string();
            CFDatum datum;
            if (isString) {
                std::string valueText;
                ConvertObsValToStr(value, variable, valueText);
                datum = CFDatum::MakeText(converter.ToUtf8(valueText));
            } else {
                datum = NumericStorageStatToCF(value->f, field.GetStorage());
            }
            values.emplace_back(std::move(datum), std::move(text), 0, 0);
        }
        if (!values.empty())
            field.SetValueLabels(std::move(values));
    }

    void SetMissingValues(CFField& field, const TAVO_Variable& variable) const {
        int count = 0;
        OBS missing[3];
        variable.GetMissingValues(count, missing);
        const bool isString = variable.GetType() > 0;
        const TAVO_ValueLabelMap map(variable);
        const auto discrete = [&](const OBS& value) {
            if (isString) {
                std::string text;
                ConvertObsValToStr(&value, 8, text);
                const char* label = map.Lookup(text);
                return CFValue(CFDatum::MakeText(converter.ToUtf8(text)),
                               label != nullptr ? converter.ToUtf8(label) : std::string(), 0, 0);
            }
            const char* label = map.Lookup(value.f);
            return CFValue(NumericStorageStatToCF(value.f, field.GetStorage()),
                           label != nullptr ? converter.ToUtf8(label) : std::string(), 0, 0);
        };
        if (count > 0) {
            std::vector<CFValue> values;
            for (int i = 0; i < std::min(count, 3); ++i)
                values.push_back(discrete(missing[i]));
            field.SetMissingValues(CFMissingValues(CFRange(), std::move(values), true, false));
        } else if ((count == -2 || count == -3) && !isString) {
            CFRange range(NumericStorageStatToCF(missing[0].f, field.GetStorage()),
                          NumericStorageStatToCF(missing[1].f, field.GetStorage()));
            std::vector<CFValue> values;
            if (count == -3)
                values.push_back(discrete(missing[2]));
            field.SetMissingValues(
                CFMissingValues(std::move(range), std::move(values), true, false));
        }
    }

    void ClearAnalysis() {
        analysisIndexes.clear();
        analysisMetadata.Clear();
        analysisDataModel.clear();
    }

    // Adds the field of one kept variable: a copy of its full-model field, or a fresh one with
    // the given level when that is not negative.
    void Keep(int index, const MeasurementLevel* level) {
        if (level != nullptr && static_cast<int>(*level) >= 0) {
            AppendDictField(analysisMetadata, index, *level);
        } else if (level != nullptr) {
            AppendDictField(analysisMetadata, index,
                            source->GetVariable(index).GetMeasurementLevel());
        } else {
            analysisMetadata.AddField(fullMetadata.GetField(index));
        }
        analysisIndexes.push_back(index);
    }

    void FinishAnalysis() {
        if (analysisMetadata.FieldCount() > 0 && addCaseCount) {
            analysisIndexes.push_back(-1);
            analysisMetadata.AddField(CaseCountField());
        }
        if (analysisMetadata.FieldCount() > 0)
            analysisMetadata.ExportXMLDoc(analysisDataModel);
    }

    int IndexOfName(const std::string& name, bool namesInUtf8) const {
        if (name.empty())
            return -1;
        return source->FindVarIndex(namesInUtf8 ? converter.FromUtf8(name) : name, 0);
    }
};

QEDataModel::QEDataModel(const TAVO_DataSource& source, bool addCaseCount, bool markWeight,
                         bool useSplits)
    : impl_(new Impl()) {
    impl_->source = &source;
    impl_->weightIndex = source.GetWeightVarIndex();
    impl_->markWeight = markWeight;
    impl_->useSplits = useSplits;
    impl_->addCaseCount = addCaseCount;
    for (int i = 0; i < source.GetSplitCount(); ++i) {
        impl_->splitIndexes.push_back(source.GetSplitVarIndex(i));
    }
    impl_->CreateDictMetadata();
}

QEDataModel::QEDataModel(const QEDataModel& other) : impl_(new Impl(*other.impl_)) {}

QEDataModel& QEDataModel::operator=(const QEDataModel& other) {
    if (this != &other)
        *impl_ = *other.impl_;
    return *this;
}

QEDataModel::~QEDataModel() {
    delete impl_;
}

const TAVO_DataSource* QEDataModel::getDataSource() const {
    return impl_->source;
}

const std::vector<int>& QEDataModel::getAnalysVars() const {
    return impl_->analysisIndexes;
}

std::string QEDataModel::getDataModel() const {
    return impl_->analysisDataModel.empty() ? impl_->fullDataModel : impl_->analysisDataModel;
}

const CFMetaData& QEDataModel::getMetaData() const {
    return impl_->analysisMetadata.FieldCount() > 0 ? impl_->analysisMetadata : impl_->fullMetadata;
}

void QEDataModel::UpdateAnalysMetadata(const std::vector<int>& indexes) {
    impl_->ClearAnalysis();
    const int columns = impl_->source->ColumnCount();
    for (int index : indexes) {
        if (index >= 0 && index < columns)
            impl_->Keep(index, nullptr);
    }
    impl_->FinishAnalysis();
}

void QEDataModel::UpdateAnalysMetadata(const std::vector<int>& indexes,
                                       const std::vector<MeasurementLevel>& levels) {
    if (levels.empty()) {
        UpdateAnalysMetadata(indexes);
        return;
    }
    QE_ASSERT(indexes.size() == levels.size());
    impl_->ClearAnalysis();
    const int columns = impl_->source->ColumnCount();
    for (size_t i = 0; i < indexes.size(); ++i) {
        if (indexes[i] >= 0 && indexes[i] < columns)
            impl_->Keep(indexes[i], &levels[i]);
    }
    impl_->FinishAnalysis();
}

void QEDataModel::UpdateAnalysMetadata(const std::vector<std::string>& names, bool namesInUtf8) {
    impl_->ClearAnalysis();
    for (const std::string& name : names) {
        const int index = impl_->IndexOfName(name, namesInUtf8);
        if (index >= 0)
            impl_->Keep(index, nullptr);
    }
    impl_->FinishAnalysis();
}

void QEDataModel::UpdateAnalysMetadata(const std::vector<std::string>& names,
                                       const std::vector<MeasurementLevel>& levels,
                                       bool namesInUtf8) {
    if (levels.empty()) {
        UpdateAnalysMetadata(names, namesInUtf8);
        return;
    }
    QE_ASSERT(names.size() == levels.size());
    impl_->ClearAnalysis();
    for (size_t i = 0; i < names.size(); ++i) {
        const int index = impl_->IndexOfName(names[i], namesInUtf8);
        if (index >= 0)
            impl_->Keep(index, &levels[i]);
    }
    impl_->FinishAnalysis();
}
