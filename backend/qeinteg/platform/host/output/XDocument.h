// Base of the host's chart documents: a described item that is sent to the output when complete.
// A document made with a heading goes under that heading, else into the current procedure.
#pragma once

#include "qeinteg/platform/host/output/ChartItem.h"
#include "qeinteg/platform/host/output/ChartString.h"

class PnHeading;

class XDocument {
  public:
    explicit XDocument(PnHeading* parent = nullptr) : parent_(parent) {}
    virtual ~XDocument() = default;
    XDocument(const XDocument&) = delete;
    XDocument& operator=(const XDocument&) = delete;

    void SetDescription(const ChartString& description);

  protected:
    // Adds the record to the output.
    void Send();
    qehost::ChartRecord record_;

  private:
    PnHeading* parent_;
};
