// The host's output viewer, recorded: everything procedures show goes into one ordered tree that
// tests read back. Items go to the innermost open procedure, or to the root when none is open.
//
// Writers may run on any thread (the lock serialises them). root() is for reading once the writers
// are done; the snapshot helpers (errors()) may be called at any time.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qeinteg/platform/host/output/OutputItem.h"

namespace qehost {

// One PnError as recorded, flattened for tests.
struct ErrorRecord {
    std::string procedure;  // name of the procedure it went to; empty at the root
    std::string text;       // the text as shown (translated where asked)
    int show = 0;
    int level = 0;
};

class HostOutput {
  public:
    static HostOutput& instance();

    // Forgets all output and closes every procedure.
    void reset();

    // Opens a procedure node as the new innermost one; returns its id.
    int openProcedure(const std::string& name);
    // Closes the procedure with `id` (and any opened inside it). Unknown ids are ignored.
    void closeProcedure(int id);

    // Appends `item` to the innermost open procedure (or the root).
    void add(std::unique_ptr<OutputItem> item);

    // The whole tree. Not locked: read it when no one is writing.
    const OutputItem& root() const { return *root_; }

    // Every error item, in tree order.
    std::vector<ErrorRecord> errors() const;

    // The lock that writers hold; for extensions that build several items as one step.
    std::recursive_mutex& mutex() const { return mutex_; }

  private:
    HostOutput();
    OutputItem* currentLocked();

    mutable std::recursive_mutex mutex_;
    std::unique_ptr<OutputItem> root_;
    std::vector<ProcedureItem*> open_;
    int nextId_ = 1;
};

}  // namespace qehost
