#include "qeinteg/data/QERawDataIterator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "qeinteg/data/QEDataModel.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStopCheck.h"
#include "qeinteg/platform/QEAssert.h"
#include "qeinteg/platform/host/data/SvrDMInputDataSource.h"
#include "qeinteg/platform/host/data/TAVO_CProjection.h"
#include "qeinteg/platform/host/data/TempFileDataStore.h"
#include "qeinteg/platform/host/data/UTF8DataSource.h"
#include "qeinteg/platform/host/process/TavoErrorMonitor.h"
#include "qeinteg/platform/host/text/CodePage.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace {

// One value of the current row: a number, or the address of a string's bytes.
union Slot {
    double f;
    const char* s;
};

// How a field's value is read, decided once from its storage and its variable.
enum class Kind : unsigned char {
    CaseCount,   // the case iterator's case number
    Real,        // number, user-missing to system-missing
    Weight,      // real field holding the frequency weight
    String,      // address and trimmed length
    Date,        // days from the base date
    Timestamp,   // seconds from the base date
    Other,       // time, integer and the rest: the number as read
    NullString,  // string storage over a numeric variable: always missing
    NullNumber,  // numeric storage over a string variable: always missing
};

struct FieldPlan {
    Kind kind = Kind::NullNumber;
    int column = -1;
    int slot = 0;  // the column's first slot in a case of the current source
    const TAVO_Variable* variable = nullptr;
    int width = 0;
};

}  // namespace

// Trailing length of a string for the engine: blanks and line feeds (and tabs on a UTF-8 host) are
// trimmed from the right, never the first byte. Runs of eight blanks are skipped a word at a time,
// since wide and converted strings are mostly padding.
inline size_t TrimmedLength(const char* s, int width, bool utf8Mode) {
    constexpr uint64_t kBlanks = 0x2020202020202020ULL;
    int pos = width - 1;
    while (pos >= 8) {
        uint64_t word;
        std::memcpy(&word, s + pos - 7, sizeof word);
        if (word != kBlanks)
            break;
        pos -= 8;
    }
    while (pos >= 1 && (s[pos] == ' ' || s[pos] == '\n' || (utf8Mode && s[pos] == '\t')))
        --pos;
    return static_cast<size_t>(pos + 1);
}

namespace {

// A numeric field's value in a case: user-missing (when excluded) becomes system-missing, dates
// count days and timestamps seconds from the base date.
inline double NumberOf(const FieldPlan& p, const OBS* row, bool exclude, double baseDate) {
    if (p.kind == Kind::NullNumber)
        return SYSMIS;
    double v = row[p.slot].f;
    if (p.kind == Kind::Date || p.kind == Kind::Timestamp) {
        if (v == SYSMIS || (exclude && p.variable->IsMissing(v)))
            return SYSMIS;
        v -= baseDate;
        return p.kind == Kind::Date ? v / 86400.0 : v;
    }
    return exclude && p.variable->IsMissing(v) ? SYSMIS : v;
}

// A string field's bytes in a case and their trimmed length; null (length 0) when missing.
inline const char* TextOf(const FieldPlan& p, const OBS* row, bool exclude, bool utf8Mode,
                          size_t& length) {
    const char* str = p.kind == Kind::String ? row[p.slot].s : nullptr;
    if (str == nullptr || (exclude && p.variable->IsMissing(str))) {
        length = 0;
        return nullptr;
    }
    length = TrimmedLength(str, p.width, utf8Mode);
    return str;
}

}  // namespace

// Everything but the case iterator, which a copy must not share.
struct QERawDataIteratorState {
    using WeightAdjust = QERawDataIterator::WeightAdjust;

    const TAVO_DataSource* source = nullptr;
    std::shared_ptr<SvrDMInputDataSource> server;
    std::string name;
    std::string dataModel;
    int weightIndex = -1;
    WeightAdjust weightAdjust = QERawDataIterator::Round;
    CFMetaData metadata;
    std::vector<int> analysisIndices;
    std::vector<Slot> values;
    std::vector<size_t> lengths;
    // The views below never change after Init, so copies may share them.
    std::shared_ptr<const TAVO_CProjection> projection;
    std::shared_ptr<ErrorMonitor> ownedMonitor;
    std::shared_ptr<const UTF8DataSource> utf8View;
    std::shared_ptr<const TempFileDataStore> store;
    const TAVO_DataSource* current = nullptr;
    bool excludeUserMissing = true;
    int columnCount = 0;
    int fieldCount = 0;
    int casesRead = 0;
    uint32_t validCases = 0;
    uint32_t invalidCases = 0;
    double weightedCases = 0;
    double weightedValidCases = 0;
    double weightedInvalidCases = 0;
    bool countingPass = true;
    bool allWeightsGood = true;
    bool allWeightsIntegers = true;
    uint32_t status = 0;
    QEStopProcessor* stopProcessor = nullptr;  // as the caller gave it
    const QEStopCheck* stopCheck = nullptr;    // the same object, as the rows ask it
    bool cancelStatus = false;

    std::vector<FieldPlan> plan;
    // Fields that are a plain copy of a number (no user-missing values to test), read in one
    // tight loop before the others.
    std::vector<int> copyFields;
    std::vector<int> copySlots;
    std::vector<int> otherFields;
    std::vector<unsigned char> isString;
    // The first field holding the frequency weight, -1 when the cases are not weighted.
    int weightField = -1;
    bool utf8Mode = true;
    double baseDate = 0;
};

namespace {
// A run of at least this many cases is handed to a reader that accepts views without a copy.
constexpr size_t kMinViewRun = 64;
static_assert(sizeof(OBS) == sizeof(double), "a numeric view steps through case slots as doubles");

// Slot `slot` of `count` cases lying `stride` slots apart, as numbers into out.
void CopySlot(const OBS* first, std::ptrdiff_t stride, int slot, size_t count, double* out) {
    const OBS* in = first + slot;
    for (size_t r = 0; r < count; ++r)
        out[r] = in[static_cast<std::ptrdiff_t>(r) * stride].f;
}
}  // namespace

class QERawDataIterator::Impl : public QERawDataIteratorState {
  public:
    std::unique_ptr<TAVO_InputCaseIterator> caseIterator;
    // Scratch of ReadBatch: where each plain copy goes.
    std::vector<double*> copyOut_;

    Impl() = default;
    Impl(const Impl& other)
        : QERawDataIteratorState(other),
          caseIterator(other.caseIterator ? other.caseIterator->Clone() : nullptr) {
        // String slots point into the case buffer of the iterator they were read from.
        for (size_t k = 0; k < plan.size(); ++k) {
            if (plan[k].kind != Kind::String || values[k].s == nullptr)
                continue;
            values[k].s = caseIterator && caseIterator->HasCase()
                              ? caseIterator->GetStringValue(plan[k].column)
                              : nullptr;
            if (values[k].s == nullptr)
                lengths[k] = 0;
        }
    }
    Impl& operator=(const Impl&) = delete;

    ~Impl() {
        caseIterator.reset();
        store.reset();
        utf8View.reset();
        ownedMonitor.reset();
        projection.reset();
        server.reset();
    }

    // Builds the model of the source and takes its fields and validated analysis columns, so that
    // fields and projected columns always correspond.
    template <typename Selection>
    void FromModel(const Selection& select, bool addCaseCount, bool useSplits,
                   ErrorMonitor* monitor) {
        QEDataModel model(*source, addCaseCount, weightAdjust != QERawDataIterator::Ignore,
                          useSplits);
        select(model);
        analysisIndices = model.getAnalysVars();
        dataModel = model.getDataModel();
        metadata = model.getMetaData();
        Init(monitor);
    }

    void OpenServer(const LocallyUniqueID& id, ErrorMonitor*& monitor) {
        server = std::make_shared<SvrDMInputDataSource>(id, false);
        source = &server->GetDataSource();
        monitor =
            server->GetDataset() != nullptr ? server->GetDataset()->GetErrorMonitor() : nullptr;
    }

    void Init(ErrorMonitor* monitor) {
        std::vector<int> collected;
        for (int index : analysisIndices) {
            if (index >= 0)
                collected.push_back(index);
        }
        if (!collected.empty()) {
            projection = std::make_shared<const TAVO_CProjection>(
                *source, collected.data(), static_cast<int>(collected.size()));
        }
        const TAVO_DataSource* base = projection ? projection.get() : source;
        if (weightAdjust != QERawDataIterator::Ignore)
            weightIndex = base->GetWeightVarIndex();
        columnCount = base->ColumnCount();
        fieldCount = metadata.FieldCount();
        values.assign(static_cast<size_t>(fieldCount), Slot{SYSMIS});
        lengths.assign(static_cast<size_t>(fieldCount), 8);

        utf8Mode = qUTF8mode();
        bool anyString = false;
        for (int k = 0; k < columnCount; ++k) {
            if (base->GetVariable(k).GetType() >= 1)
                anyString = true;
        }
        if (utf8Mode || !anyString) {
            current = base;
        } else {
            // Strings need converting: read them from a converted copy made once.
            ErrorMonitor* reportTo = monitor;
            if (reportTo == nullptr) {
                ownedMonitor = std::make_shared<TavoErrorMonitor>(&Reporter);
                reportTo = ownedMonitor.get();
            }
            utf8View =
                std::make_shared<const UTF8DataSource>(*base, TAVOMBDefaultCodePage(), reportTo);
            store = std::make_shared<const TempFileDataStore>(*utf8View);
            current = store.get();
        }
        caseIterator.reset(current->MakeIterator(nullptr));
        baseDate = GetBaseDateNumber();
        BuildPlan();
    }

    void BuildPlan() {
        plan.assign(static_cast<size_t>(fieldCount), FieldPlan{});
        const bool perIndex =
            !analysisIndices.empty() && static_cast<int>(analysisIndices.size()) == fieldCount;
        int next = 0;
        for (int k = 0; k < fieldCount; ++k) {
            int column = -1;
            if (perIndex) {
                if (analysisIndices[k] >= 0 && next < columnCount)
                    column = next++;
            } else if (k < columnCount) {
                column = k;
            }
            FieldPlan& p = plan[k];
            p.column = column;
            if (column < 0) {
                p.kind = Kind::CaseCount;
                continue;
            }
            p.variable = &current->GetVariable(column);
            p.width = p.variable->GetType();
            const bool isString = p.width > 0;
            switch (metadata.GetField(k).GetStorage()) {
                case CFField::String:
                    p.kind = isString ? Kind::String : Kind::NullString;
                    break;
                case CFField::Real:
                    p.kind = isString ? Kind::NullNumber
                                      : (column == weightIndex ? Kind::Weight : Kind::Real);
                    break;
                case CFField::Date:
                    p.kind = isString ? Kind::NullNumber : Kind::Date;
                    break;
                case CFField::Timestamp:
                    p.kind = isString ? Kind::NullNumber : Kind::Timestamp;
                    break;
                default:
                    p.kind = isString ? Kind::NullNumber : Kind::Other;
                    break;
            }
            if (p.kind == Kind::String || p.kind == Kind::NullString) {
                values[k].s = nullptr;
                lengths[k] = 0;
            }
        }
        weightField = -1;
        for (int k = fieldCount - 1; k >= 0; --k) {
            if (plan[k].kind == Kind::Weight)
                weightField = k;
        }
        copyFields.clear();
        otherFields.clear();
        isString.assign(static_cast<size_t>(fieldCount), 0);
        for (int k = 0; k < fieldCount; ++k) {
            const FieldPlan& p = plan[k];
            const bool copy = (p.kind == Kind::Real || p.kind == Kind::Other) &&
                              p.variable->GetMissingCount() == 0;
            (copy ? copyFields : otherFields).push_back(k);
            isString[k] = p.kind == Kind::String || p.kind == Kind::NullString;
        }
        ResolveSlots();
    }

    // Slots come from the case iterator; every iterator of the current source has the same ones.
    void ResolveSlots() {
        if (!caseIterator)
            return;
        copySlots.clear();
        for (FieldPlan& p : plan) {
            if (p.column >= 0)
                p.slot = caseIterator->GetSlotOffset(p.column);
        }
        for (int k : copyFields)
            copySlots.push_back(plan[k].slot);
    }

    bool PollCancel() {
        if (stopCheck != nullptr && stopCheck->CheckCancel())
            cancelStatus = true;
        if (cancelStatus)
            status = 3;
        return cancelStatus;
    }

    double AdjustWeight(double w) {
        if (w == SYSMIS)
            return 0;
        if (!(w > 0))
            return 0;
        switch (weightAdjust) {
            case QERawDataIterator::Round: {
                const double rounded = std::floor(w + 0.5);
                if (countingPass) {
                    if (!(rounded > 0))
                        allWeightsGood = false;
                    if (rounded != w)
                        allWeightsIntegers = false;
                }
                return rounded;
            }
            case QERawDataIterator::Truncate:
                return std::floor(w);
            default:
                return w;
        }
    }

    uint32_t NextRecord() {
        PollCancel();
        if (status != 0)
            return status;
        if (!caseIterator) {
            status = 1;
            return status;
        }
        TAVO_InputCaseIterator& it = *caseIterator;
        const bool exclude = excludeUserMissing;
        double weight = 1.0;
        for (;;) {
            if (!it.NextCase()) {
                caseIterator.reset();
                status = 1;
                return status;
            }
            if (countingPass)
                ++casesRead;
            weight = 1.0;
            bool valid = true;
            const OBS* row = it.GetRow();
            const size_t copies = copyFields.size();
            const int* copyField = copyFields.data();
            const int* copySlot = copySlots.data();
            Slot* out = values.data();
            for (size_t i = 0; i < copies; ++i)
                out[copyField[i]].f = row[copySlot[i]].f;
            for (const int k : otherFields) {
                const FieldPlan& p = plan[k];
                switch (p.kind) {
                    case Kind::CaseCount:
                        out[k].f = static_cast<double>(it.GetCaseNumber());
                        break;
                    case Kind::Weight:
                        weight = AdjustWeight(NumberOf(p, row, exclude, baseDate));
                        valid = weight > 0;
                        out[k].f = weight;
                        break;
                    case Kind::String:
                    case Kind::NullString:
                        out[k].s = TextOf(p, row, exclude, utf8Mode, lengths[k]);
                        break;
                    default:
                        out[k].f = NumberOf(p, row, exclude, baseDate);
                        break;
                }
            }
            if (countingPass && weight > 0)
                weightedCases += weight;
            if (valid)
                break;
            if (countingPass) {
                ++invalidCases;
                weightedInvalidCases += weight;
            }
        }
        if (countingPass) {
            ++validCases;
            weightedValidCases += weight;
        }
        return status;
    }

    // Whole column batches straight from the case buffers, one case at a time (a case's row is
    // only valid until the next case is read: a converted store pages its cases). Plain copies
    // come first, then the weight decides whether the case is delivered, then the other fields.
    // Cancellation is polled once per batch; values, weights and counters are those NextRecord()
    // gives.
    uint32_t ReadBatch(EmbeddedQE::RowBatch& batch, size_t maxRows) {
        const size_t fields = isString.size();
        maxRows = std::max<size_t>(maxRows, 1);
        batch.rows = 0;
        batch.columns.resize(fields);
        for (size_t k = 0; k < fields; ++k) {
            EmbeddedQE::RowBatch::Column& c = batch.columns[k];
            c.isText = isString[k] != 0;
            c.view = nullptr;
            c.viewStride = 0;
            c.text.clear();
            c.starts.clear();
            c.missing.clear();
            if (c.isText) {
                c.numbers.clear();
                c.starts.reserve(maxRows + 1);
                c.starts.push_back(0);
                c.missing.reserve(maxRows);
            }
        }
        PollCancel();
        if (status != 0)
            return status;
        if (!caseIterator) {
            status = 1;
            return status;
        }
        const size_t copies = copyFields.size();
        // Numbers get their room once the batch is known not to be a view (sizing them for a
        // view would fill them for nothing).
        bool sized = false;
        double* const* copyOut = nullptr;
        const auto size = [&] {
            if (!sized)
                SizeNumbers(batch, maxRows);
            sized = true;
            copyOut = copyOut_.data();
        };
        const int* copySlot = copySlots.data();
        EmbeddedQE::RowBatch::Column* columns = batch.columns.data();
        TAVO_InputCaseIterator& it = *caseIterator;
        const bool exclude = excludeUserMissing;
        const FieldPlan* weightPlan = weightField >= 0 ? &plan[weightField] : nullptr;
        // With no weight and nothing but plain copies every case is delivered as it is, so a run
        // of cases side by side is copied a column at a time.
        const bool copiesOnly = weightPlan == nullptr && otherFields.empty();
        size_t n = 0;
        const OBS* first = nullptr;
        std::ptrdiff_t stride = 0;
        size_t run = 0;    // cases in the current run
        size_t taken = 0;  // of them, handed to the per-case loop below
        long firstNumber = 0;
        while (n < maxRows) {
            if (taken == run) {
                run = it.NextCases(maxRows - n, first, stride);
                taken = 0;
                if (run == 0) {
                    caseIterator.reset();
                    status = 1;
                    break;
                }
                if (copiesOnly && n == 0 && batch.acceptViews &&
                    (run == maxRows || run >= kMinViewRun)) {
                    // A run long enough to be a batch of its own: the reader copies it once,
                    // straight from the cases.
                    for (size_t i = 0; i < copies; ++i) {
                        EmbeddedQE::RowBatch::Column& c = columns[copyFields[i]];
                        c.numbers.clear();
                        c.view = &first[copySlot[i]].f;
                        c.viewStride = stride;
                    }
                    CountPlainCases(run);
                    n = run;
                    break;
                }
                size();
                if (copiesOnly) {
                    for (size_t i = 0; i < copies; ++i)
                        CopySlot(first, stride, copySlot[i], run, copyOut[i] + n);
                    CountPlainCases(run);
                    n += run;
                    taken = run;
                    continue;
                }
                firstNumber = it.GetCaseNumber() - static_cast<long>(run - 1);
            }
            const OBS* row = first + static_cast<std::ptrdiff_t>(taken) * stride;
            const long caseNumber = firstNumber + static_cast<long>(taken);
            ++taken;
            // Written before the case is known to be delivered; a skipped case is overwritten.
            for (size_t i = 0; i < copies; ++i)
                copyOut[i][n] = row[copySlot[i]].f;
            double weight = 1.0;
            if (weightPlan != nullptr)
                weight = AdjustWeight(NumberOf(*weightPlan, row, exclude, baseDate));
            if (countingPass) {
                ++casesRead;
                if (weight > 0)
                    weightedCases += weight;
            }
            if (!(weight > 0)) {
                if (countingPass) {
                    ++invalidCases;
                    weightedInvalidCases += weight;
                }
                continue;
            }
            if (countingPass) {
                ++validCases;
                weightedValidCases += weight;
            }
            for (const int k : otherFields) {
                const FieldPlan& p = plan[k];
                EmbeddedQE::RowBatch::Column& c = columns[k];
                switch (p.kind) {
                    case Kind::CaseCount:
                        c.numbers[n] = static_cast<double>(caseNumber);
                        break;
                    case Kind::Weight:
                        c.numbers[n] = weight;
                        break;
                    case Kind::String:
                    case Kind::NullString: {
                        size_t length = 0;
                        const char* text = TextOf(p, row, exclude, utf8Mode, length);
                        if (text != nullptr)
                            c.text.append(text, length);
                        c.starts.push_back(c.text.size());
                        c.missing.push_back(text == nullptr ? 1 : 0);
                        break;
                    }
                    default:
                        c.numbers[n] = NumberOf(p, row, exclude, baseDate);
                        break;
                }
            }
            ++n;
        }
        for (size_t k = 0; k < fields; ++k) {
            if (!columns[k].isText && columns[k].view == nullptr)
                columns[k].numbers.resize(n);  // n <= the room sized, or 0
        }
        batch.rows = n;
        return n > 0 ? 0 : status;
    }

    // Room for maxRows numbers in each numeric column (every row up to the batch's end is
    // written, so they need not be cleared first), and where each plain copy goes.
    void SizeNumbers(EmbeddedQE::RowBatch& batch, size_t maxRows) {
        for (EmbeddedQE::RowBatch::Column& c : batch.columns) {
            if (!c.isText)
                c.numbers.resize(maxRows);
        }
        copyOut_.resize(copyFields.size());
        for (size_t i = 0; i < copyFields.size(); ++i)
            copyOut_[i] = batch.columns[copyFields[i]].numbers.data();
    }

    // Counts cases delivered as they are (no weight) in the first pass, as one at a time counts
    // them.
    void CountPlainCases(size_t cases) {
        if (!countingPass)
            return;
        casesRead += static_cast<int>(cases);
        validCases += static_cast<uint32_t>(cases);
        weightedCases += static_cast<double>(cases);
        weightedValidCases += static_cast<double>(cases);
    }

    uint32_t DoRewind() {
        QE_ASSERT(current != nullptr);
        PollCancel();
        if (casesRead > 0 && caseIterator) {
            if (countingPass) {
                while (NextRecord() == 0 && !cancelStatus) {
                }
            }
            caseIterator.reset();
        }
        if (status != 0 && status != 1)
            return status;
        if (!caseIterator) {
            caseIterator.reset(current->MakeIterator(nullptr));
            ResolveSlots();
            countingPass = false;
        }
        if (status == 1)
            status = 0;
        return status;
    }
};

QERawDataIterator::QERawDataIterator(const TAVO_DataSource& source, const std::vector<int>& indices,
                                     const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                                     WeightAdjust weightAdjust, bool useSplits,
                                     ErrorMonitor* monitor)
    : impl_(new Impl()) {
    impl_->source = &source;
    impl_->weightAdjust = weightAdjust;
    impl_->FromModel(
        [&](QEDataModel& model) {
            if (!indices.empty())
                model.UpdateAnalysMetadata(indices, levels);
        },
        addCaseCount, useSplits, monitor);
}

QERawDataIterator::QERawDataIterator(const TAVO_DataSource& source,
                                     const std::vector<std::string>& names,
                                     const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                                     WeightAdjust weightAdjust, bool useSplits, bool namesInUtf8,
                                     ErrorMonitor* monitor)
    : impl_(new Impl()) {
    impl_->source = &source;
    impl_->weightAdjust = weightAdjust;
    impl_->FromModel(
        [&](QEDataModel& model) {
            if (!names.empty())
                model.UpdateAnalysMetadata(names, levels, namesInUtf8);
        },
        addCaseCount, useSplits, monitor);
}

QERawDataIterator::QERawDataIterator(const LocallyUniqueID& dataset,
                                     const std::vector<int>& indices,
                                     const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                                     WeightAdjust weightAdjust, bool useSplits)
    : impl_(new Impl()) {
    ErrorMonitor* monitor = nullptr;
    impl_->OpenServer(dataset, monitor);
    impl_->weightAdjust = weightAdjust;
    impl_->FromModel(
        [&](QEDataModel& model) {
            if (!indices.empty())
                model.UpdateAnalysMetadata(indices, levels);
        },
        addCaseCount, useSplits, monitor);
}

QERawDataIterator::QERawDataIterator(const LocallyUniqueID& dataset,
                                     const std::vector<std::string>& names,
                                     const std::vector<MeasurementLevel>& levels, bool addCaseCount,
                                     WeightAdjust weightAdjust, bool useSplits, bool namesInUtf8)
    : impl_(new Impl()) {
    ErrorMonitor* monitor = nullptr;
    impl_->OpenServer(dataset, monitor);
    impl_->weightAdjust = weightAdjust;
    impl_->FromModel(
        [&](QEDataModel& model) {
            if (!names.empty())
                model.UpdateAnalysMetadata(names, levels, namesInUtf8);
        },
        addCaseCount, useSplits, monitor);
}

QERawDataIterator::QERawDataIterator(const QEDataModel& model, ErrorMonitor* monitor)
    : impl_(new Impl()) {
    impl_->source = model.getDataSource();
    impl_->dataModel = model.getDataModel();
    impl_->metadata = model.getMetaData();
    impl_->analysisIndices = model.getAnalysVars();
    impl_->Init(monitor);
}

QERawDataIterator::QERawDataIterator(const TAVO_DataSource& source, const CFMetaData& metadata,
                                     const std::string& dataModel, const std::vector<int>& indices,
                                     const std::vector<MeasurementLevel>&, ErrorMonitor* monitor)
    : impl_(new Impl()) {
    impl_->source = &source;
    impl_->dataModel = dataModel;
    impl_->metadata = metadata;
    const int columns = source.ColumnCount();
    const bool perField = static_cast<int>(indices.size()) == metadata.FieldCount();
    bool dropped = false;
    CFMetaData kept;
    for (size_t i = 0; i < indices.size(); ++i) {
        if (indices[i] >= columns || indices[i] < -1) {
            dropped = true;
            continue;
        }
        impl_->analysisIndices.push_back(indices[i]);
        if (perField)
            kept.AddField(metadata.GetField(static_cast<int>(i)));
    }
    if (dropped && perField) {
        // A column the source does not have would shift every later field onto the wrong column.
        impl_->metadata = kept;
        kept.ExportXMLDoc(impl_->dataModel);
    }
    impl_->Init(monitor);
}

QERawDataIterator::QERawDataIterator(const QERawDataIterator& other)
    : QEStatDataIterator(other), impl_(new Impl(*other.impl_)) {}

QERawDataIterator& QERawDataIterator::operator=(const QERawDataIterator& other) {
    if (this != &other) {
        Impl* copy = new Impl(*other.impl_);
        delete impl_;
        impl_ = copy;
    }
    return *this;
}

QERawDataIterator::~QERawDataIterator() {
    delete impl_;
}

void QERawDataIterator::SetFreqWeightAdj(WeightAdjust weightAdjust) {
    if (impl_->weightAdjust != Ignore && weightAdjust != Ignore)
        impl_->weightAdjust = weightAdjust;
}

QERawDataIterator::WeightAdjust QERawDataIterator::GetFreqWeightAdj() const {
    return impl_->weightAdjust;
}

void QERawDataIterator::SetExcludeUserMissing(bool exclude) {
    impl_->excludeUserMissing = exclude;
}
bool QERawDataIterator::GetExcludeUserMissing() const {
    return impl_->excludeUserMissing;
}
void QERawDataIterator::SetName(const std::string& name) {
    impl_->name = name;
}
std::string QERawDataIterator::getName() {
    return impl_->name;
}

std::string QERawDataIterator::getDataModel() {
    // With tracing on, the model the engine asked for is kept beside the job texts.
    traceXMLFile(impl_->dataModel, "InputDataModel", impl_->name);
    return impl_->dataModel;
}

uint32_t QERawDataIterator::nextRecord() {
    return impl_->NextRecord();
}

uint32_t QERawDataIterator::getRecordValue(size_t field, const void** data, size_t* length) {
    Impl& s = *impl_;
    if (s.status != 0)
        return s.status;
    if (field >= s.isString.size() || data == nullptr || length == nullptr)
        return 2;
    const Slot& slot = s.values[field];
    if (s.isString[field]) {
        *data = slot.s;
        *length = slot.s != nullptr ? s.lengths[field] : 0;
    } else if (slot.f == SYSMIS) {
        *data = nullptr;
        *length = 0;
    } else {
        *data = &slot.f;
        *length = sizeof(double);
    }
    return 0;
}

void QERawDataIterator::dispose(JNIEnv*) {}

uint32_t QERawDataIterator::Rewind() {
    return impl_->DoRewind();
}

uint32_t QERawDataIterator::nextBatch(EmbeddedQE::RowBatch& batch, size_t maxRows) {
    return ReadBatch(batch, maxRows);
}

uint32_t QERawDataIterator::ReadBatch(EmbeddedQE::RowBatch& batch, size_t maxRows) {
    return impl_->ReadBatch(batch, maxRows);
}

TAVO_InputCaseIterator* QERawDataIterator::GetStatDSIter() const {
    return impl_->caseIterator.get();
}
const CFMetaData& QERawDataIterator::GetMetaData() const {
    return impl_->metadata;
}

int QERawDataIterator::GetNCases() const {
    return impl_->casesRead;
}
int QERawDataIterator::GetNValidCases() const {
    return static_cast<int>(impl_->validCases);
}
int QERawDataIterator::GetNInvalidCases() const {
    return static_cast<int>(impl_->invalidCases);
}
double QERawDataIterator::GetWeightNCases() const {
    return impl_->weightedCases;
}
double QERawDataIterator::GetWeightNValidCases() const {
    return impl_->weightedValidCases;
}
double QERawDataIterator::GetWeightNInvalidCases() const {
    return impl_->weightedInvalidCases;
}
bool QERawDataIterator::AreAllWeightsGood() const {
    return impl_->allWeightsGood;
}
bool QERawDataIterator::AreAllWeightsIntegers() const {
    return impl_->allWeightsIntegers;
}

void QERawDataIterator::SetStopCheck(QEStopProcessor* stopProcessor, const QEStopCheck* check) {
    impl_->stopProcessor = stopProcessor;
    impl_->stopCheck = check;
}
QEStopProcessor* QERawDataIterator::GetStopProcessor() const {
    return impl_->stopProcessor;
}
void QERawDataIterator::SetCancelStatus() {
    impl_->cancelStatus = true;
}
bool QERawDataIterator::GetCancelStatus() const {
    return impl_->cancelStatus;
}
