#include "FetchCommand.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/runner/QEOutputIteratorFetcher.h"
#include "qeinteg/runner/QEProgressListener.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

const char* const kUsage =
    "usage: qeinteg fetch FILE.qebf|FILE.csv [--model FILE.xml] [--fields a,b] [--limit N]\n"
    "  Reads a data file through the output fetcher and prints its rows as CSV with a header\n"
    "  line. A CSV file is read with the data model given by --model (field names and storages;\n"
    "  a first line repeating the names is skipped); --fields keeps only the named fields, in\n"
    "  that order; --limit prints at most N rows.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "qeinteg fetch: %s\n", message.c_str());
    return 2;
}

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
    std::string dataPath, modelPath;
    std::vector<std::string> fields;
    long long limit = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--model") {
            if (!value(modelPath))
                return Fail("--model needs a file");
        } else if (arg == "--fields") {
            if (!value(v) || v.empty())
                return Fail("--fields needs a list of names");
            std::stringstream list(v);
            std::string name;
            while (std::getline(list, name, ','))
                if (!name.empty())
                    fields.push_back(name);
        } else if (arg == "--limit") {
            if (!value(v))
                return Fail("--limit needs a number");
            try {
                size_t used = 0;
                limit = std::stoll(v, &used);
                if (used != v.size() || limit < 0)
                    throw std::invalid_argument(v);
            } catch (const std::exception&) {
                return Fail("--limit needs a non-negative number, not '" + v + "'");
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return Fail("unknown option '" + arg + "'");
        } else if (dataPath.empty()) {
            dataPath = arg;
        } else {
            return Fail("one data file only");
        }
    }
    if (dataPath.empty())
        return Fail("no data file given (see qeinteg fetch --help)");
    const bool csv = dataPath.size() >= 4 && dataPath.compare(dataPath.size() - 4, 4, ".csv") == 0;
    if (csv && modelPath.empty())
        return Fail("a CSV file needs its data model (--model FILE.xml)");
    if (JNIObjectManager::getManager()->getEnv() == nullptr)
        return Fail("could not start the Java VM");
    int status = 0;
    {
        QERunner runner(nullptr);
        QEOutputIteratorFetcher fetcher(runner);
        EmbeddedQE::RowDataIterator* it = fetcher.Fetch(
            dataPath, modelPath, csv ? QEOutputIteratorFetcher::CSV : QEOutputIteratorFetcher::QEBF,
            fields);
        if (it == nullptr) {
            std::string why, id, detail;
            if (runner.getProgressListener() != nullptr &&
                runner.getProgressListener()->hasError(id, why, detail))
                why = ": " + why;
            else
                why.clear();
            std::fprintf(stderr, "qeinteg fetch: cannot read %s%s\n", dataPath.c_str(),
                         why.c_str());
            status = 1;
        } else {
            pugi::xml_document model;
            model.load_string(it->getDataModel().c_str());
            std::vector<qelocal::Storage> storages;
            std::string header;
            for (pugi::xml_node f : model.child("dataModel").children("field")) {
                header += (header.empty() ? "" : ",") + Quoted(f.attribute("name").value());
                storages.push_back(qelocal::StorageFromText(f.attribute("storage").value()));
            }
            std::printf("%s\n", header.c_str());
            long long rows = 0;
            uint32_t rc = 0;
            while ((limit < 0 || rows < limit) && (rc = it->nextRecord()) == 0) {
                std::string line;
                for (size_t i = 0; i < storages.size(); ++i) {
                    const void* data = nullptr;
                    size_t length = 0;
                    if (i > 0)
                        line += ',';
                    if (it->getRecordValue(i, &data, &length) != 0 || data == nullptr)
                        continue;
                    if (storages[i] == qelocal::Storage::String)
                        line += Quoted(std::string(static_cast<const char*>(data), length));
                    else
                        line += Number(*static_cast<const double*>(data), storages[i]);
                }
                std::printf("%s\n", line.c_str());
                ++rows;
            }
            if (rc > 1) {
                std::fprintf(stderr, "qeinteg fetch: %s is damaged\n", dataPath.c_str());
                status = 1;
            }
        }
    }
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
    return status;
}
