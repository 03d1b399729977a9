#include "qeinteg/data/IteratorConversion.h"

#include <cstdlib>
#include <mutex>
#include <sstream>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/output/QEDebug.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELWrite.h"
#include "qeinteg/runner/QERunner.h"

namespace {

struct Target {
    const char* extension;
    const char* name;
};

const Target kTargets[] = {{".qebf", "QEBF"}, {".csv", "CSV"}, {".sav", "SAV"}};

}  // namespace

int IteratorConversionOption() {
    static std::once_flag once;
    static int option = 0;
    std::call_once(once, [] {
        const char* text = std::getenv("QE_STAT_ITER_OPT");
        if (text == nullptr || *text == '\0')
            return;
        std::istringstream in(text);
        int value = 0;
        if (in >> value)
            option = value;
    });
    return option;
}

int IteratorConversion(QERawDataIterator* iterator, QERunner* runner, QEDebug* debug,
                       std::string const& dataPath, std::string const& dataModelPath) {
    if (iterator == nullptr)
        return -1;
    const std::string name = iterator->getName();
    const int option = IteratorConversionOption();
    if (option < 1 || option > 3)
        return 0;
    if (runner == nullptr)
        return -1;
    const Target& target = kTargets[option - 1];
    if (debug != nullptr)
        debug->addOutputLine(std::string("Start converting QERawDataIterator to ") + target.name +
                             " " + name);
    bool ok = false;
    try {
        JNIQelProgram program;
        QELRead read(&program);
        read.ReadIterator(name);
        QELWrite write(&program);
        write.SetDataModel(NormalizeQelPathU(dataModelPath, "file"));
        const std::string data = NormalizeQelPathU(dataPath, "file");
        if (option == 1)
            write.WriteQEBF(data);
        else if (option == 2)
            write.WriteCSV(data);
        else
            write.WriteSAV(data, "");
        write.AddPredFunction(&read, "");
        std::string text;
        if (write.GenerateQEL())
            program.getQelText(text);
        if (!text.empty()) {
            traceQELFile(text, "IteratorConversion", name);
            if (runner->prepareQELJob(text)) {
                ok = iterator->Rewind() == 0;
                ok = ok && runner->addInputIterator(iterator);
                ok = ok && runner->execute();
                runner->displayAllMessages(true);
                runner->cleanExecution();
            }
        }
    } catch (...) {
        ok = false;
        runner->cleanExecution();
    }
    if (debug != nullptr)
        debug->addOutputLine(std::string("Done converting QERawDataIterator to ") + target.name);
    return ok ? option : 0;
}

int IteratorConversion(QERawDataIterator* iterator, QERunner* runner, QEDebug* debug,
                       std::string const& directory, std::string& dataPath,
                       std::string& dataModelPath) {
    if (iterator == nullptr)
        return -1;
    const std::string name = iterator->getName();
    const int option = IteratorConversionOption();
    if (option < 1 || option > 3)
        return 0;
    const std::string model = FormUniqueFileName(directory + "qe_stats_" + name + ".xml");
    const std::string data =
        FormUniqueFileName(directory + "qe_stats_" + name + kTargets[option - 1].extension);
    const int result = IteratorConversion(iterator, runner, debug, data, model);
    if (result < 1 || result > 3)
        return 0;
    dataPath = data;
    dataModelPath = model;
    return result;
}
