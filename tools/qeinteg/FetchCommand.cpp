#include "FetchCommand.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "CommandLine.h"
#include "JsonRecordWriter.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/runner/QEOutputIteratorFetcher.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

std::string Quoted(const std::string& text) {
    if (!text.empty() && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string Number(double v, qelocal::Storage storage) {
    if (qelocal::IsTemporalStorage(storage))
        return qelocal::FormatTemporal(storage, v);
    std::ostringstream out;
    out.precision(17);
    out << v;
    double back = 0;
    // The shortest text that reads back to the same number.
    for (int p = 1; p <= 17; ++p) {
        std::ostringstream s;
        s.precision(p);
        s << v;
        std::istringstream(s.str()) >> back;
        if (back == v)
            return s.str();
    }
    return out.str();
}

}  // namespace

int RunFetchCommand(int argc, char** argv) {
    qecli::CommandLine cli(
        "fetch", "FILE.qebf|FILE.csv [--model FILE.xml] [--fields a,b] [--limit N] [--json]",
        "print a data file's rows through the output fetcher, as CSV with a header line");
    std::string modelPath;
    std::string fieldList;
    std::string limitText;
    bool json = false;
    std::vector<std::string> files;
    cli.Option("--model", "FILE.xml", modelPath,
               "the data model of a CSV file (a first line repeating its names is "
               "skipped)");
    cli.Option("--fields", "a,b", fieldList, "keep only the named fields, in that order");
    cli.Option("--limit", "N", limitText, "print at most N rows");
    cli.Flag("--json", json, "print one JSON document (fields, rows) instead of CSV");
    cli.Positionals(files, 1, 1);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    const std::string& dataPath = files[0];
    std::vector<std::string> fields;
    {
        std::stringstream list(fieldList);
        for (std::string name; std::getline(list, name, ',');) {
            if (!name.empty())
                fields.push_back(name);
        }
    }
    long long limit = -1;
    if (!limitText.empty()) {
        const char* end = limitText.data() + limitText.size();
        const auto [stop, ec] = std::from_chars(limitText.data(), end, limit);
        if (ec != std::errc() || stop != end || limit < 0)
            return cli.UsageError("--limit needs a non-negative whole number, not '" + limitText +
                                  "'");
    }
    const bool csv = dataPath.size() >= 4 && dataPath.compare(dataPath.size() - 4, 4, ".csv") == 0;
    if (csv && modelPath.empty())
        return cli.UsageError("a CSV file needs its data model (--model FILE.xml)");
    if (std::string cause = qecli::UnreadableCause(dataPath); !cause.empty())
        return cli.Failure(dataPath, cause);
    if (std::string cause = modelPath.empty() ? "" : qecli::UnreadableCause(modelPath);
        !cause.empty())
        return cli.Failure(modelPath, cause);
    if (JNIObjectManager::getManager()->getEnv() == nullptr)
        return cli.Failure("", "could not start the Java VM");
    int status = qecli::kExitOk;
    {
        QERunner runner(nullptr);
        QEOutputIteratorFetcher fetcher(runner);
        EmbeddedQE::RowDataIterator* it = fetcher.Fetch(
            dataPath, modelPath, csv ? QEOutputIteratorFetcher::CSV : QEOutputIteratorFetcher::QEBF,
            fields);
        if (it == nullptr) {
            std::string why, id, detail;
            if (runner.getProgressListener() == nullptr ||
                !runner.getProgressListener()->hasError(id, why, detail))
                why = "the output fetcher cannot read it";
            status = cli.Failure(dataPath, why);
        } else {
            pugi::xml_document model;
            model.load_string(it->getDataModel().c_str());
            std::vector<std::string> names;
            std::vector<qelocal::Storage> storages;
            qecli::JsonRecordWriter::Json fieldsJson = qecli::JsonRecordWriter::Json::array();
            for (pugi::xml_node f : model.child("dataModel").children("field")) {
                names.push_back(f.attribute("name").value());
                storages.push_back(qelocal::StorageFromText(f.attribute("storage").value()));
                fieldsJson.push_back(
                    {{"name", names.back()}, {"storage", f.attribute("storage").value()}});
            }
            std::optional<qecli::JsonRecordWriter> writer;
            if (json) {
                writer.emplace(
                    std::cout,
                    qecli::JsonRecordWriter::Json{{"file", dataPath}, {"fields", fieldsJson}},
                    "rows");
            } else {
                std::string header;
                for (const std::string& name : names)
                    header += (header.empty() ? "" : ",") + Quoted(name);
                std::cout << header << '\n';
            }
            long long rows = 0;
            uint32_t rc = 0;
            while ((limit < 0 || rows < limit) && (rc = it->nextRecord()) == 0) {
                std::string line;
                qecli::JsonRecordWriter::Json record = qecli::JsonRecordWriter::Json::array();
                for (size_t i = 0; i < storages.size(); ++i) {
                    const void* data = nullptr;
                    size_t length = 0;
                    if (i > 0)
                        line += ',';
                    if (it->getRecordValue(i, &data, &length) != 0 || data == nullptr) {
                        record.push_back(nullptr);
                        continue;
                    }
                    if (storages[i] == qelocal::Storage::String) {
                        std::string text(static_cast<const char*>(data), length);
                        line += Quoted(text);
                        record.push_back(std::move(text));
                    } else {
                        const double v = *static_cast<const double*>(data);
                        line += Number(v, storages[i]);
                        if (qelocal::IsTemporalStorage(storages[i])) {
                            record.push_back(Number(v, storages[i]));
                        } else if (storages[i] == qelocal::Storage::Integer && v == std::trunc(v) &&
                                   std::fabs(v) <= 9007199254740992.0) {
                            record.push_back(static_cast<std::int64_t>(v));  // 2, not 2.0
                        } else {
                            record.push_back(v);
                        }
                    }
                }
                if (writer)
                    writer->Add(record);
                else
                    std::cout << line << '\n';
                ++rows;
            }
            if (rc > 1) {
                std::cout.flush();
                status = cli.Failure(dataPath, "it is damaged: reading stopped after " +
                                                   std::to_string(rows) + " rows");
            } else if (writer) {
                writer->Finish({{"rowCount", rows}});
            }
            std::cout.flush();
        }
    }
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
    return status;
}
