// Helpers for the output tests: compact table documents, building them through the library and
// finding what the host output recorded.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "qeinteg/platform/host/output/OutputItem.h"
#include "qeinteg/platform/host/output/PivotRecord.h"

class jsonPivot;

namespace outtest {

// {"text":{"stringText":{"value":V}}} with optional footnote references.
std::string S(const std::string& value, const std::vector<int>& notes = {});
// A leaf category object with a string text.
std::string Leaf(const std::string& value, const std::string& extra = "");
// A dimension object; `children` is the JSON text of its category array.
std::string Dim(const std::string& name, const std::string& children,
                const std::string& extra = "");
// n leaves named prefix0 .. prefix(n-1), as a JSON array text.
std::string Leaves(const std::string& prefix, int n);

// Builds the table object `table` (JSON text) with jsonPivot under a procedure and returns the
// recorded table, or null when none was made. `setup` may configure the builder first.
const qehost::PivotTableRecord* Build(const std::string& table,
                                      const std::function<void(jsonPivot&)>& setup = {});

// Every recorded item of a kind, in tree order.
std::vector<const qehost::OutputItem*> Items(qehost::OutputItem::Kind kind);

// The cell at leaf indexes (one per dimension, creation order); nothing when none.
std::optional<qehost::CellNode> CellAt(const qehost::PivotTableRecord& table, std::vector<int> at);
// The text of that cell; of kind "<no cell>" or "<no text>" when there is none. Tests read cells
// through this, never through a dereferenced CellAt: a missing cell must fail the test, not crash
// the test process (a native crash inside the JVM's process).
qehost::TextRecord CellRecord(const qehost::PivotTableRecord& table, std::vector<int> at);

}  // namespace outtest
