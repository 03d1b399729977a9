#include "qeinteg/platform/host/data/UTF8DataSource.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "qeinteg/platform/host/text/CodePage.h"

// Converts host text to UTF-8. Single-byte code pages go through a table built once per view;
// others through the general converter.
class UTF8DataSource::Converter {
  public:
    explicit Converter(const std::string& codePage)
        : handle_(TAVOMBConverterNew_A(codePage.c_str())) {
        singleByte_ = true;
        maxBytes_ = 1;
        for (int b = 0; b < 256; ++b) {
            // The host converter reads a character's trail bytes up to a zero byte, so every
            // probe is zero-terminated.
            const char byte[2] = {static_cast<char>(b), '\0'};
            std::string out;
            const bool ok = TAVOMBGenericToU8(std::string_view(byte, 1), out, handle_);
            if (!ok && (b < 0x80 || StartsPair(byte[0])))
                singleByte_ = false;
            table_[b] = ok ? out : std::string();
            valid_[b] = ok && !out.empty();
            maxBytes_ = std::max<int>(maxBytes_, static_cast<int>(out.size()));
        }
        // A multi-byte code page may need up to three UTF-8 bytes per input byte.
        if (!singleByte_)
            maxBytes_ = 3;
    }

    ~Converter() { TAVOMBConverterDelete_A(handle_); }

  private:
    // True when `lead` followed by some trail byte is one character: a double-byte code page.
    bool StartsPair(char lead) const {
        for (const int trail : {0x40, 0x80, 0xA1, 0xA5}) {
            const char pair[3] = {lead, static_cast<char>(trail), '\0'};
            std::string out;
            if (TAVOMBGenericToU8(std::string_view(pair, 2), out, handle_) && !out.empty() &&
                out != "?")
                return true;
        }
        return false;
    }

  public:
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    int MaxBytesPerByte() const { return maxBytes_; }

    // Appends the UTF-8 form of text to out; false when some bytes were not valid.
    bool Convert(std::string_view text, std::string& out) const {
        if (!singleByte_) {
            // A copy with a terminating zero: a lead byte at the end of the text must not make
            // the converter look past it.
            const std::string terminated(text);
            std::string converted;
            const bool ok = TAVOMBGenericToU8(std::string_view(terminated), converted, handle_);
            out += converted;
            return ok;
        }
        bool ok = true;
        for (char c : text) {
            const unsigned char b = static_cast<unsigned char>(c);
            if (valid_[b]) {
                out += table_[b];
            } else {
                out += '?';
                ok = false;
            }
        }
        return ok;
    }

  private:
    void* handle_;
    bool singleByte_ = true;
    int maxBytes_ = 1;
    std::array<std::string, 256> table_;
    std::array<bool, 256> valid_{};
};

namespace {

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Reads the base source and converts each case into its own buffer.
class Utf8Cursor final : public TAVO_InputCaseIterator::Cursor {
  public:
    Utf8Cursor(const TAVO_DataSource& base, const UTF8DataSource& view,
               const UTF8DataSource::Converter& converter, ErrorMonitor* monitor,
               std::unique_ptr<TAVO_InputCaseIterator> it)
        : base_(base),
          view_(view),
          converter_(converter),
          monitor_(monitor),
          it_(std::move(it)),
          row_(static_cast<size_t>(std::max(1, view.SlotsPerCase()))) {}

    bool Next(const OBS*& row, long& caseNumber) override {
        if (!it_->NextCase())
            return false;
        caseNumber = it_->GetCaseNumber();
        const auto& offsets = view_.Offsets();
        for (int k = 0; k < base_.ColumnCount(); ++k) {
            const int width = base_.GetVariable(k).GetType();
            OBS* dest = &row_[offsets[k]];
            if (width == 0) {
                dest->f = it_->GetNumericValue(k);
                continue;
            }
            scratch_.clear();
            const std::string_view text =
                TrimRight(std::string_view(it_->GetStringValue(k), static_cast<size_t>(width)));
            if (!converter_.Convert(text, scratch_) && monitor_ != nullptr) {
                monitor_->Report("Text of variable " + ToUtf8Name(k) + " in case " +
                                 std::to_string(caseNumber) +
                                 " is not valid in the host code page; invalid bytes are shown "
                                 "as '?'.");
            }
            const size_t destWidth = static_cast<size_t>(view_.GetVariable(k).GetType());
            std::memset(dest->s, ' ', destWidth);
            std::memcpy(dest->s, scratch_.data(), std::min(destWidth, scratch_.size()));
        }
        row = row_.data();
        return true;
    }

    std::unique_ptr<Cursor> Clone(const OBS*& row) const override {
        auto copy = std::make_unique<Utf8Cursor>(base_, view_, converter_, monitor_, it_->Clone());
        copy->row_ = row_;
        row = copy->row_.data();
        return copy;
    }

  private:
    std::string ToUtf8Name(int k) const { return view_.GetVariable(k).GetName(); }

    const TAVO_DataSource& base_;
    const UTF8DataSource& view_;
    const UTF8DataSource::Converter& converter_;
    ErrorMonitor* monitor_;
    std::unique_ptr<TAVO_InputCaseIterator> it_;
    std::vector<OBS> row_;
    std::string scratch_;
};

}  // namespace

UTF8DataSource::UTF8DataSource(const TAVO_DataSource& base, const std::string& codePage,
                               ErrorMonitor* monitor)
    : base_(&base), monitor_(monitor), converter_(new Converter(codePage)) {
    const auto convert = [this](std::string_view text) {
        std::string out;
        converter_->Convert(text, out);
        return out;
    };
    for (int k = 0; k < base.ColumnCount(); ++k) {
        const TAVO_Variable& source = base.GetVariable(k);
        const int width = source.GetType();
        const int newWidth =
            width == 0 ? 0 : std::min(32767, width * converter_->MaxBytesPerByte());
        TAVO_Variable variable(convert(source.GetName()), newWidth);
        TAVO_Format format = source.GetFormat();
        if (width > 0)
            format.width = newWidth;
        variable.SetFormat(format);
        variable.SetLabel(convert(source.GetLabel()));
        variable.SetMeasurementLevel(source.GetMeasurementLevel());
        variable.SetRole(source.GetRole());
        for (const auto& entry : source.GetValueLabels()) {
            if (width == 0) {
                variable.AddValueLabel(entry.value[0].f, convert(entry.label));
            } else {
                const std::string_view text(entry.value[0].s, static_cast<size_t>(width));
                variable.AddValueLabel(convert(TrimRight(text)), convert(entry.label));
            }
        }
        int count = 0;
        OBS missing[3];
        source.GetMissingValues(count, missing);
        if (width > 0) {
            std::vector<std::string> texts;
            for (const std::string& text : source.GetStringMissingValues()) {
                texts.push_back(convert(text));
            }
            variable.SetStringMissingValues(texts);
        } else if (count > 0) {
            std::vector<double> values;
            for (int i = 0; i < count; ++i)
                values.push_back(missing[i].f);
            variable.SetMissingValues(values);
        } else if (count == -2) {
            variable.SetMissingRange(missing[0].f, missing[1].f);
        } else if (count == -3) {
            variable.SetMissingRange(missing[0].f, missing[1].f, missing[2].f);
        }
        offsets_.push_back(slotsPerCase_);
        slotsPerCase_ += variable.SlotCount();
        variables_.push_back(std::move(variable));
    }
}

UTF8DataSource::~UTF8DataSource() {
    delete converter_;
}

TAVO_InputCaseIterator* UTF8DataSource::MakeIterator(void* filter) const {
    std::unique_ptr<TAVO_InputCaseIterator> it(base_->MakeIterator(filter));
    if (!it)
        return nullptr;
    return new TAVO_InputCaseIterator(
        std::make_unique<Utf8Cursor>(*base_, *this, *converter_, monitor_, std::move(it)),
        offsets_);
}
