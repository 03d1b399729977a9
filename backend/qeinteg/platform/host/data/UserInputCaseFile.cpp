#include "qeinteg/platform/host/data/UserInputCaseFile.h"

#include <csv.h>

#include <strings.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "qeinteg/platform/host/text/HostDates.h"

namespace {

struct Table {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> current;
};

void OnField(void* text, size_t length, void* data) {
    static_cast<Table*>(data)->current.emplace_back(static_cast<const char*>(text), length);
}

void OnRow(int, void* data) {
    Table* table = static_cast<Table*>(data);
    table->rows.push_back(std::move(table->current));
    table->current.clear();
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    while (end != nullptr && *end == ' ')
        ++end;
    return end != nullptr && *end == '\0';
}

bool IsDateFormat(int type) {
    switch (type) {
        case TAVO_Format::DATE:
        case TAVO_Format::ADATE:
        case TAVO_Format::JDATE:
        case TAVO_Format::MOYR:
        case TAVO_Format::QYR:
        case TAVO_Format::WKYR:
        case TAVO_Format::EDATE:
        case TAVO_Format::SDATE:
        case TAVO_Format::DATETIME:
        case TAVO_Format::YMDHMS:
            return true;
        default:
            return false;
    }
}

bool IsTimeFormat(int type) {
    return type == TAVO_Format::TIME || type == TAVO_Format::DTIME || type == TAVO_Format::MTIME;
}

struct ColumnSpec {
    std::string name;
    bool haveFormat = false;
    TAVO_Format format;
    bool haveLevel = false;
    TAVO_Variable_Enumerations::MeasurementLevel level = TAVO_Variable_Enumerations::Unknown;
};

bool ParseHeader(const std::string& cell, ColumnSpec& caseFile, std::string& error) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t colon = cell.find(':', start);
        parts.push_back(cell.substr(start, colon == std::string::npos ? colon : colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    caseFile.name = parts[0];
    if (caseFile.name.empty()) {
        error = "empty variable name in the first row";
        return false;
    }
    if (parts.size() > 1 && !parts[1].empty()) {
        if (!caseFile.format.Parse(parts[1])) {
            error = "unknown format '" + parts[1] + "' for variable " + caseFile.name;
            return false;
        }
        caseFile.haveFormat = true;
    }
    if (parts.size() > 2 && !parts[2].empty()) {
        static const std::pair<const char*, TAVO_Variable_Enumerations::MeasurementLevel>
            kLevels[] = {{"unknown", TAVO_Variable_Enumerations::Unknown},
                         {"nominal", TAVO_Variable_Enumerations::Nominal},
                         {"ordinal", TAVO_Variable_Enumerations::Ordinal},
                         {"scale", TAVO_Variable_Enumerations::Scale}};
        for (const auto& [text, level] : kLevels) {
            if (strcasecmp(parts[2].c_str(), text) == 0) {
                caseFile.level = level;
                caseFile.haveLevel = true;
            }
        }
        if (!caseFile.haveLevel) {
            error = "unknown measurement level '" + parts[2] + "' for variable " + caseFile.name;
            return false;
        }
    }
    if (parts.size() > 3) {
        error = "too many parts in the name cell of variable " + caseFile.name;
        return false;
    }
    return true;
}

// Splits a dictionary line into tokens; a double-quoted token may hold blanks and doubled quotes.
bool Tokenize(const std::string& line, std::vector<std::string>& tokens) {
    tokens.clear();
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        std::string token;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        token += '"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                token += line[i++];
            }
            if (!closed)
                return false;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
                token += line[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

// A value of a numeric variable as the data would hold it.
bool ParseValue(const TAVO_Variable& variable, const std::string& text, double& value) {
    const int type = variable.GetFormat().type;
    if (IsDateFormat(type))
        return qehost::ParseHostDateTime(text, value);
    if (IsTimeFormat(type))
        return qehost::ParseHostTime(text, value);
    return ParseNumber(text, value);
}

// Applies a dictionary file to the dataset; false with a reason naming the line on failure.
bool ApplyDictionary(const std::string& path, HostDataset& data, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the dictionary file '" + path + "'";
        return false;
    }
    std::string line;
    std::vector<std::string> t;
    int number = 0;
    std::vector<int> splits;
    while (std::getline(in, line)) {
        ++number;
        const auto fail = [&](const std::string& why) {
            error = "dictionary line " + std::to_string(number) + ": " + why;
            return false;
        };
        if (!Tokenize(line, t))
            return fail("unterminated quote");
        if (t.empty() || (!t[0].empty() && t[0][0] == '#'))
            continue;
        const std::string& what = t[0];
        if (t.size() < 2)
            return fail("no variable named");
        std::vector<int> columns;
        for (size_t i = 1; i < (what == "split" ? t.size() : 2); ++i) {
            const int column = data.FindVarIndex(t[i], 0);
            if (column < 0)
                return fail("unknown variable " + t[i]);
            columns.push_back(column);
        }
        TAVO_Variable& v = data.Variable(columns[0]);
        const bool isString = v.GetType() > 0;
        std::vector<double> numbers;
        const auto numbersFrom = [&](size_t first) {
            numbers.clear();
            for (size_t i = first; i < t.size(); ++i) {
                double value = 0;
                if (!ParseValue(v, t[i], value))
                    return false;
                numbers.push_back(value);
            }
            return true;
        };
        if (what == "label" && t.size() == 3) {
            v.SetLabel(t[2]);
        } else if (what == "value" && t.size() == 4) {
            if (isString) {
                v.AddValueLabel(std::string_view(t[2]), t[3]);
            } else {
                double value = 0;
                if (!ParseValue(v, t[2], value))
                    return fail("bad value " + t[2]);
                v.AddValueLabel(value, t[3]);
            }
        } else if (what == "missing" && t.size() >= 3 && t.size() <= 5) {
            if (isString) {
                v.SetStringMissingValues(std::vector<std::string>(t.begin() + 2, t.end()));
            } else if (!numbersFrom(2) || !v.SetMissingValues(numbers)) {
                return fail("bad missing values");
            }
        } else if (what == "range" && (t.size() == 4 || t.size() == 5)) {
            if (isString || !numbersFrom(2))
                return fail("bad missing range");
            const bool ok = numbers.size() == 2
                                ? v.SetMissingRange(numbers[0], numbers[1])
                                : v.SetMissingRange(numbers[0], numbers[1], numbers[2]);
            if (!ok)
                return fail("bad missing range");
        } else if (what == "level" && t.size() == 3) {
            ColumnSpec caseFile;
            std::string ignored;
            if (!ParseHeader("x::" + t[2], caseFile, ignored))
                return fail("unknown level " + t[2]);
            v.SetMeasurementLevel(caseFile.level);
        } else if (what == "role" && t.size() == 3) {
            static const char* const kRoles[] = {"input", "target",    "both",
                                                 "none",  "partition", "split"};
            int role = -1;
            for (int r = 0; r < 6; ++r) {
                if (strcasecmp(t[2].c_str(), kRoles[r]) == 0)
                    role = r;
            }
            if (role < 0)
                return fail("unknown role " + t[2]);
            v.SetRole(role);
        } else if (what == "weight" && t.size() == 2) {
            if (!data.SetWeightVariable(columns[0]))
                return fail("a weight must be numeric");
        } else if (what == "split") {
            splits.insert(splits.end(), columns.begin(), columns.end());
        } else {
            return fail("cannot read '" + line + "'");
        }
    }
    if (!splits.empty())
        data.SetSplitVariables(splits);
    return true;
}

}  // namespace

UserInputCaseFile::UserInputCaseFile(const UserCaseFileSpec& caseFile) {
    std::FILE* file = caseFile.Path().empty() ? nullptr : std::fopen(caseFile.Path().c_str(), "rb");
    if (file == nullptr) {
        error_ = "cannot open the file '" + caseFile.Path() + "'";
        return;
    }
    Table table;
    csv_parser parser;
    csv_init(&parser, CSV_APPEND_NULL);
    csv_set_delim(&parser, static_cast<unsigned char>(caseFile.Delimiter()));
    char buffer[65536];
    size_t n = 0;
    bool ok = true;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (csv_parse(&parser, buffer, n, OnField, OnRow, &table) != n) {
            error_ = std::string("the file is not valid CSV: ") + csv_strerror(csv_error(&parser));
            ok = false;
            break;
        }
    }
    std::fclose(file);
    if (ok && csv_fini(&parser, OnField, OnRow, &table) != 0) {
        error_ = std::string("the file is not valid CSV: ") + csv_strerror(csv_error(&parser));
        ok = false;
    }
    csv_free(&parser);
    if (!ok)
        return;

    // Column specs from the first row, or V1..Vn.
    size_t columns = 0;
    for (const auto& row : table.rows)
        columns = std::max(columns, row.size());
    std::vector<ColumnSpec> specs(columns);
    size_t first = 0;
    if (caseFile.NamesInFirstRow() && !table.rows.empty()) {
        const auto& header = table.rows[0];
        if (header.size() != columns) {
            error_ = "the first row names fewer columns than the data rows hold";
            return;
        }
        for (size_t c = 0; c < columns; ++c) {
            if (!ParseHeader(header[c], specs[c], error_))
                return;
        }
        first = 1;
    } else {
        for (size_t c = 0; c < columns; ++c)
            specs[c].name = "V" + std::to_string(c + 1);
    }

    // Types: numeric unless a format says string or a cell is not a number.
    for (size_t c = 0; c < columns; ++c) {
        ColumnSpec& s = specs[c];
        if (s.haveFormat)
            continue;
        bool numeric = true;
        size_t width = 1;
        for (size_t r = first; r < table.rows.size(); ++r) {
            if (c >= table.rows[r].size())
                continue;
            const std::string& cell = table.rows[r][c];
            width = std::max(width, cell.size());
            double ignored = 0;
            if (!cell.empty() && !ParseNumber(cell, ignored))
                numeric = false;
        }
        s.format = numeric ? TAVO_Format{TAVO_Format::F, 8, 2}
                           : TAVO_Format{TAVO_Format::A,
                                         static_cast<int>(std::min<size_t>(width, 32767)), 0};
    }
    for (size_t c = 0; c < columns; ++c) {
        const ColumnSpec& s = specs[c];
        TAVO_Variable variable(s.name, s.format.IsString() ? s.format.width : 0);
        variable.SetFormat(s.format);
        variable.SetMeasurementLevel(s.haveLevel           ? s.level
                                     : s.format.IsString() ? TAVO_Variable_Enumerations::Nominal
                                                           : TAVO_Variable_Enumerations::Scale);
        if (data_.AddVariable(std::move(variable)) < 0) {
            error_ = "duplicate variable name " + s.name;
            data_ = HostDataset();
            return;
        }
    }
    data_.ReserveCases(static_cast<long>(table.rows.size() - first));
    for (size_t r = first; r < table.rows.size(); ++r) {
        const auto& row = table.rows[r];
        const long c0 = data_.AddCase();
        for (size_t c = 0; c < row.size(); ++c) {
            const TAVO_Format& format = specs[c].format;
            const std::string& cell = row[c];
            if (format.IsString()) {
                data_.SetString(c0, static_cast<int>(c), cell);
                continue;
            }
            double value = SYSMIS;
            bool parsed = cell.empty();
            if (!cell.empty()) {
                if (IsDateFormat(format.type)) {
                    parsed = qehost::ParseHostDateTime(cell, value);
                } else if (IsTimeFormat(format.type)) {
                    parsed = qehost::ParseHostTime(cell, value);
                } else {
                    parsed = ParseNumber(cell, value);
                }
            }
            // A cell that does not parse is system-missing, as the host's reader treats it.
            data_.SetNumeric(c0, static_cast<int>(c), parsed ? value : SYSMIS);
        }
    }
    if (!caseFile.DictionaryPath().empty() && !ApplyDictionary(caseFile.DictionaryPath(), data_, error_)) {
        data_ = HostDataset();
    }
}
