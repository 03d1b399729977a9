// Reading and writing the data model XML that accompanies every record stream.
//
// Everything that knows the layout of the data model document lives in DataModelXml.cpp, so that
// the layout can follow docs/data-model-xml.md in one place.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

// The fields of a data model document. Throws EngineError when the text is not a data model.
std::vector<EngineField> ParseDataModelXml(const std::string& xml);

// A distinct value of a field as the data model writes it: its kind ("integer", "real" or
// "string") and its text.
struct DistinctValue {
    const char* kind;
    std::string text;
};

// Appends the <DataModel> section of a summary document describing `fields`, each with its list
// of distinct values (empty lists add nothing).
void AppendSummaryDataModel(pugi::xml_node parent, const std::vector<EngineField>& fields,
                            const std::vector<std::vector<DistinctValue>>& distinctValues);

// Writes the <DataModel> section of a summary document (indented as one level below the root)
// field by field: the i-th field's values come from `valuesOf(i)` just before it is written, so
// only one field's list is in memory at a time.
void WriteSummaryDataModel(pugi::xml_writer& out, const std::vector<EngineField>& fields,
                           const std::function<std::vector<DistinctValue>(size_t)>& valuesOf);

// Prints `node` as SerializeXml would inside a document, `depth` levels deep.
void PrintXmlNode(pugi::xml_writer& out, pugi::xml_node node, unsigned depth);

// A complete data model document for `fields`.
std::string DataModelDocument(const std::vector<EngineField>& fields);

// Serialises a document the way every engine output does: UTF-8 with a declaration, indented, and
// never with self-closing tags for elements that may be cut out as text by readers.
std::string SerializeXml(const pugi::xml_document& document);

}  // namespace qelocal
