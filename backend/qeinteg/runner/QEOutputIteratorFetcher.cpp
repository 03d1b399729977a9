#include "qeinteg/runner/QEOutputIteratorFetcher.h"

#include "qeinteg/data/QESimpleFile.h"
#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/qel/JNIQelProgram.h"
#include "qeinteg/qel/QELFilterFields.h"
#include "qeinteg/qel/QELRead.h"
#include "qeinteg/qel/QELWrite.h"
#include "qeinteg/runner/QERunImpl.h"
#include "qeinteg/runner/QERunner.h"

QEOutputIteratorFetcher::QEOutputIteratorFetcher(QERunner& runner) : runner_(runner) {}

QEOutputIteratorFetcher::~QEOutputIteratorFetcher() {
    Finalize();
}

void QEOutputIteratorFetcher::Finalize() {
    if (iterator_ != nullptr) {
        iterator_->dispose(QERunImpl::env());
        iterator_ = nullptr;
    }
    runner_.cleanExecution();
    modelFile_.reset();
    dataFile_.reset();
}

EmbeddedQE::RowDataIterator* QEOutputIteratorFetcher::Fetch(
    const std::string& dataPath, const std::string& dataModelPath, QEDataFileType type,
    const std::vector<std::string>& keepFields) {
    // A fetch still open would otherwise leave its files and iterator behind.
    if (iterator_ != nullptr || dataFile_ || modelFile_)
        Finalize();
    try {
        JNIQelProgram program;
        dataFile_ = std::make_unique<QESimpleFile>("outitera.qebf", true, true);
        modelFile_ = std::make_unique<QESimpleFile>("outmodel.xml", true, true);

        QELRead read(&program);
        if (type == CSV)
            read.ReadCSV(NormalizeQelPathU(dataPath, "file"), false);
        else
            read.ReadQEBF(NormalizeQelPathU(dataPath, "file"));
        if (!dataModelPath.empty())
            read.SetDataModel(NormalizeQelPathU(dataModelPath, "file"));

        QELFilterFields filter(&program);
        if (!keepFields.empty()) {
            filter.KeepFieldNames(keepFields);
            filter.AddPredFunction(&read, "");
        }
        QELWrite write(&program);
        write.SetDataModel(modelFile_->GetFileName());
        write.WriteQEBF(dataFile_->GetFileName());
        if (keepFields.empty())
            write.AddPredFunction(&read, "");
        else
            write.AddPredFunction(&filter, "");

        std::string text;
        if (write.GenerateQEL())
            program.getQelText(text);
        if (text.empty()) {
            Finalize();
            return nullptr;
        }
        traceQELFile(text, "QelJobText", "GetIterator");
        if (runner_.prepareQELJob(text) && runner_.execute())
            iterator_ = runner_.getOutputIterator(dataFile_->GetFileName());
        if (iterator_ == nullptr)
            Finalize();  // a cancelled run has no output either: leave nothing behind
    } catch (...) {
        Finalize();
    }
    return iterator_;
}
