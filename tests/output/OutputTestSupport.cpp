#include "OutputTestSupport.h"

#include <gtest/gtest.h>

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/output/jsonPivot.h"
#include "qeinteg/platform/host/output/HostOutput.h"
#include "qeinteg/platform/host/output/PivotTableItem.h"
#include "qeinteg/platform/host/output/PnProcedure.h"

namespace outtest {

std::string S(const std::string& value, const std::vector<int>& notes) {
    std::string text = R"({"text":{"stringText":{"value":")" + value + R"("}})";
    if (!notes.empty()) {
        text += R"(,"footnotes":[)";
        for (std::size_t i = 0; i < notes.size(); ++i) {
            text += (i ? "," : "") + std::to_string(notes[i]);
        }
        text += "]";
    }
    return text + "}";
}

std::string Leaf(const std::string& value, const std::string& extra) {
    return R"({"text":)" + S(value) + (extra.empty() ? "" : "," + extra) + "}";
}

std::string Dim(const std::string& name, const std::string& children, const std::string& extra) {
    return R"({"text":)" + S(name) + R"(,"children":)" + children +
           (extra.empty() ? "" : "," + extra) + "}";
}

std::string Leaves(const std::string& prefix, int n) {
    std::string out = "[";
    for (int i = 0; i < n; ++i)
        out += (i ? "," : "") + Leaf(prefix + std::to_string(i));
    return out + "]";
}

const qehost::PivotTableRecord* Build(const std::string& table,
                                      const std::function<void(jsonPivot&)>& setup) {
    const std::string text = R"({"t":)" + table + "}";
    JNIJSONObject document(text.c_str());
    EXPECT_TRUE(document.isGood()) << document.getParserError();
    jobject item = document.get(document.getTop(), "t");
    dataDictionary dictionary;
    jsonPivot builder(document, item, nullptr, dictionary);
    if (setup)
        setup(builder);
    const std::size_t before = Items(qehost::OutputItem::Kind::PivotTable).size();
    PnProcedure procedure("test");
    builder.createPivotTable(procedure.Heading(), "Title", false, "subtype");
    auto tables = Items(qehost::OutputItem::Kind::PivotTable);
    if (tables.size() == before)
        return nullptr;
    return &static_cast<const qehost::PivotTableItem*>(tables.back())->table();
}

namespace {
void Collect(const qehost::OutputItem& item, qehost::OutputItem::Kind kind,
             std::vector<const qehost::OutputItem*>& out) {
    if (item.kind() == kind)
        out.push_back(&item);
    for (const auto& child : item.children())
        Collect(*child, kind, out);
}
}  // namespace

std::vector<const qehost::OutputItem*> Items(qehost::OutputItem::Kind kind) {
    std::vector<const qehost::OutputItem*> out;
    Collect(qehost::HostOutput::instance().root(), kind, out);
    return out;
}

std::optional<qehost::CellNode> CellAt(const qehost::PivotTableRecord& table, std::vector<int> at) {
    return table.FindCell(at);
}

qehost::TextRecord CellRecord(const qehost::PivotTableRecord& table, std::vector<int> at) {
    const std::optional<qehost::CellNode> cell = table.FindCell(at);
    if (cell && cell->text)
        return *cell->text;
    qehost::TextRecord missing;
    missing.kind = !cell ? "<no cell>" : "<no text>";
    return missing;
}

}  // namespace outtest
