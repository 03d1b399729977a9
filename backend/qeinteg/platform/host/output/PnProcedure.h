// A host procedure's output context. While it lives, what the procedure shows (PnError and, later,
// headings and tables) is recorded inside it in the host output.
#pragma once

#include <memory>
#include <string>

class PnHeading;

class PnProcedure {
  public:
    explicit PnProcedure(const std::string& name = std::string());
    virtual ~PnProcedure();
    PnProcedure(const PnProcedure&) = delete;
    PnProcedure& operator=(const PnProcedure&) = delete;

    const std::string& Name() const { return name_; }
    // The id of this procedure's node in qehost::HostOutput.
    int Id() const { return id_; }
    // The procedure's own heading, under which its headings and tables go; null when the
    // procedure's node is no longer in the output (after a reset).
    PnHeading* Heading();

  private:
    std::string name_;
    int id_;
    std::unique_ptr<PnHeading> heading_;
};
