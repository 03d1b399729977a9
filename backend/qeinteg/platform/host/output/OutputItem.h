// The nodes of the host's recorded output: a tree whose root holds procedures, each holding the
// items it produced in order. New kinds of output (headings, tables, charts) derive from OutputItem
// and add a Kind.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/host/output/PnCellText.h"

namespace qehost {

class OutputItem {
  public:
    enum class Kind { Root, Procedure, Error, Heading, PivotTable, Chart };

    explicit OutputItem(Kind kind) : kind_(kind) {}
    virtual ~OutputItem();
    OutputItem(const OutputItem&) = delete;
    OutputItem& operator=(const OutputItem&) = delete;

    Kind kind() const { return kind_; }
    OutputItem* parent() const { return parent_; }
    const std::vector<std::unique_ptr<OutputItem>>& children() const { return children_; }

    // Appends `child` as the last child and returns it.
    OutputItem& add(std::unique_ptr<OutputItem> child);

  private:
    Kind kind_;
    OutputItem* parent_ = nullptr;
    std::vector<std::unique_ptr<OutputItem>> children_;
};

// The output of one host procedure.
class ProcedureItem : public OutputItem {
  public:
    ProcedureItem(int id, std::string name)
        : OutputItem(Kind::Procedure), id_(id), name_(std::move(name)) {}

    int id() const { return id_; }
    const std::string& name() const { return name_; }

  private:
    int id_;
    std::string name_;
};

// A message or error line with the host's show and level numbers.
class ErrorItem : public OutputItem {
  public:
    ErrorItem(std::unique_ptr<PnCellText> text, int show, int level)
        : OutputItem(Kind::Error), text_(std::move(text)), show_(show), level_(level) {}

    const PnCellText& text() const { return *text_; }
    int show() const { return show_; }
    int level() const { return level_; }

  private:
    std::unique_ptr<PnCellText> text_;
    int show_;
    int level_;
};

}  // namespace qehost
