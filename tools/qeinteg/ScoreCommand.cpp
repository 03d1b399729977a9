#include "ScoreCommand.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"
#include "qeinteg/platform/host/process/AppSettings.h"
#include "qeinteg/procedures/QEScorExecXML.h"
#include "qeinteg/procedures/QETransformScorer.h"

namespace {

void ScoreUsage(FILE* out) {
    std::fputs(
        "usage: qeinteg score MODEL.pmml DATA.csv [--outputs A,B] [--keys A,B] [-o OUT.csv]\n"
        "  scores every record of DATA.csv with the PMML model and writes CSV: the key fields\n"
        "  of each record, then the model's outputs (an empty cell where there is no prediction)\n"
        "  --outputs A,B  the outputs to write, in this order (default: every model output)\n"
        "  --keys A,B     the data fields that identify a record (default: the first field)\n"
        "  -o OUT.csv     write to this file instead of standard output\n",
        out);
}

void SettingsUsage(FILE* out) {
    std::fputs(
        "usage: qeinteg score-settings [--missing-as-predictor] [--max-predictions N]\n"
        "  prints the execution settings document of the scoring module\n"
        "  --missing-as-predictor  treat missing values as a predictor category\n"
        "  --max-predictions N     predictions per record (default 3)\n"
        "  the scoring module's descriptor is read from the host component directory\n"
        "  ($QEHOST_CF_PATH, else the build's): lib/tavo.scoring.9/module.xml\n",
        out);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "qeinteg: %s\n", message.c_str());
    return 1;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (!item.empty())
            out.push_back(item);
    }
    return out;
}

std::string Number(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, ec == std::errc() ? end : buffer);
}

std::string Quoted(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// A proleptic Gregorian date from days since 1970-01-01.
std::string DateText(double days, double secondsOfDay = -1) {
    const long z = static_cast<long>(std::floor(days)) + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long d = doy - (153 * mp + 2) / 5 + 1;
    const long m = mp < 10 ? mp + 3 : mp - 9;
    const long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    char buffer[128];
    if (secondsOfDay < 0) {
        std::snprintf(buffer, sizeof buffer, "%04ld-%02ld-%02ld", y, m, d);
    } else {
        const long s = static_cast<long>(secondsOfDay);
        std::snprintf(buffer, sizeof buffer, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld", y, m, d,
                      s / 3600, s / 60 % 60, s % 60);
    }
    return buffer;
}

// The CSV text of a field's value in the current row; empty for a missing value.
std::string FieldText(QERawDataIterator& it, int field, CFField::StorageType storage) {
    const void* data = nullptr;
    size_t length = 0;
    if (it.getRecordValue(static_cast<size_t>(field), &data, &length) != 0 || data == nullptr)
        return "";
    if (storage == CFField::String)
        return Quoted(std::string(static_cast<const char*>(data), length));
    double v;
    std::memcpy(&v, data, sizeof v);
    if (storage == CFField::Date)
        return DateText(v);
    if (storage == CFField::Timestamp)
        return DateText(std::floor(v / 86400), v - std::floor(v / 86400) * 86400);
    return Number(v);
}

}  // namespace

int RunScoreCommand(int argc, char** argv) {
    std::vector<std::string> files;
    std::vector<std::string> outputs;
    std::vector<std::string> keys;
    std::string outPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            ScoreUsage(stdout);
            return 0;
        }
        if ((arg == "--outputs" || arg == "--keys" || arg == "-o") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--outputs")
                outputs = SplitList(value);
            else if (arg == "--keys")
                keys = SplitList(value);
            else
                outPath = value;
        } else if (!arg.empty() && arg[0] != '-') {
            files.push_back(arg);
        } else {
            return Fail("score: unknown or incomplete option '" + arg +
                        "' (see qeinteg score --help)");
        }
    }
    if (files.size() != 2)
        return Fail("score: needs MODEL.pmml and DATA.csv (see qeinteg score --help)");

    std::ifstream modelFile(files[0], std::ios::binary);
    if (!modelFile || std::filesystem::is_directory(files[0]))
        return Fail("cannot read the model " + files[0]);
    const std::string model((std::istreambuf_iterator<char>(modelFile)),
                            std::istreambuf_iterator<char>());
    if (!std::filesystem::is_regular_file(files[1]))
        return Fail("cannot read the data " + files[1]);
    UserCaseFileSpec caseFile;
    caseFile.Init(files[1], true, false);
    UserInputCaseFile data(caseFile);
    if (!data.IsOpen())
        return Fail("cannot read the data " + files[1] + ": " + data.Error());

    QERawDataIterator it(data.DataSource(), std::vector<int>{}, {}, false,
                         QERawDataIterator::Ignore, false);
    QETransformScorer scorer;
    if (!scorer.PrepareScoring(&it, model, outputs, true))
        return Fail(scorer.GetLastError());

    const CFMetaData& metadata = it.GetMetaData();
    if (metadata.FieldCount() == 0)
        return Fail("the data " + files[1] + " has no fields");
    if (keys.empty())
        keys.push_back(metadata.GetField(0).GetName());
    std::vector<int> keyFields;
    for (const std::string& key : keys) {
        const int field = metadata.FindField(key);
        if (field < 0)
            return Fail("the key field '" + key + "' is not a field of " + files[1]);
        keyFields.push_back(field);
    }
    if (outputs.empty())
        outputs = scorer.GetOutputModelVarNames();

    std::ofstream outFile;
    if (!outPath.empty()) {
        outFile.open(outPath, std::ios::binary | std::ios::trunc);
        if (!outFile)
            return Fail("cannot write " + outPath);
    }
    std::ostream& out = outPath.empty() ? std::cout : outFile;
    std::string line;
    for (const std::string& key : keys)
        line += Quoted(key) + ",";
    for (const std::string& name : outputs)
        line += Quoted(name) + ",";
    line.back() = '\n';
    out << line;

    long records = 0;
    uint32_t status;
    while ((status = it.nextRecord()) == 0) {
        if (!scorer.ScoreRecord())
            return Fail("record " + std::to_string(records + 1) + ": " + scorer.GetLastError());
        line.clear();
        for (int field : keyFields)
            line += FieldText(it, field, metadata.GetField(field).GetStorage()) + ",";
        for (double v : scorer.GetTargetValues())
            line += (scorer.IsValidDouble(v) ? Number(v) : std::string()) + ",";
        line.back() = '\n';
        out << line;
        ++records;
    }
    if (status != 1)
        return Fail("reading the data stopped after " + std::to_string(records) + " records");
    out.flush();
    if (!out)
        return Fail("cannot write " + (outPath.empty() ? std::string("the output") : outPath));
    return 0;
}

int RunScoreSettingsCommand(int argc, char** argv) {
    bool missingAsPredictor = false;
    int maxPredictions = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            SettingsUsage(stdout);
            return 0;
        }
        if (arg == "--missing-as-predictor") {
            missingAsPredictor = true;
        } else if (arg == "--max-predictions" && i + 1 < argc) {
            const std::string value = argv[++i];
            auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), maxPredictions);
            if (ec != std::errc() || end != value.data() + value.size() || maxPredictions < 1)
                return Fail(
                    "score-settings: --max-predictions needs a whole number of at least 1, "
                    "not '" +
                    value + "'");
        } else {
            return Fail("score-settings: unknown or incomplete option '" + arg +
                        "' (see qeinteg score-settings --help)");
        }
    }
    const std::string descriptor =
        ExtensionFinder::GetCFPath() + "lib/" + QEScorExecXML::ScoringFolderName + "/module.xml";
    if (!std::filesystem::is_regular_file(descriptor))
        return Fail("score-settings: no scoring module descriptor at " + descriptor);
    QEScorExecXML settings(missingAsPredictor);
    settings.setMaxPredictions(maxPredictions);
    std::string xml;
    settings.getXML(xml);
    std::fputs(xml.c_str(), stdout);
    return 0;
}
