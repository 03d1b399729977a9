// Reads a data file that an earlier job wrote (QEBF or CSV), optionally keeps only some fields, and
// hands out an engine row iterator over the result. It runs one small job on its runner: read,
// filter, write a temporary QEBF file with its data model, then ask for an iterator over that
// output.
//
// Lifetimes: the iterator returned by Fetch stays valid until Finalize (or the next Fetch, which
// finalizes first, or the destructor). The runner must outlive the fetcher.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QERunner;
class QESimpleFile;

class QEINTEG_EXPORT QEOutputIteratorFetcher {
  public:
    // 0: a CSV text file; any other value: a QEBF file.
    enum QEDataFileType { CSV = 0, QEBF = 1 };

    explicit QEOutputIteratorFetcher(QERunner& runner);
    ~QEOutputIteratorFetcher();
    QEOutputIteratorFetcher(const QEOutputIteratorFetcher&) = delete;
    QEOutputIteratorFetcher& operator=(const QEOutputIteratorFetcher&) = delete;

    // Runs the job and returns the iterator, or null on any failure (the run's messages stay in
    // the runner's progress listener). Nothing is thrown. A fetch still open is finalized first,
    // so that its files and iterator do not outlive it unnoticed. `dataModelPath` may be empty
    // (QEBF files describe themselves); an empty `keepFields` keeps every field.
    EmbeddedQE::RowDataIterator* Fetch(const std::string& dataPath,
                                       const std::string& dataModelPath, QEDataFileType type,
                                       const std::vector<std::string>& keepFields);
    // Disposes the iterator, cleans the runner's execution and removes the temporary files.
    void Finalize();

  private:
    QERunner& runner_;
    EmbeddedQE::RowDataIterator* iterator_ = nullptr;
    std::unique_ptr<QESimpleFile> dataFile_;   // "outitera.qebf"
    std::unique_ptr<QESimpleFile> modelFile_;  // "outmodel.xml"
};
