#include "qeinteg/platform/host/PnProcedure.h"

#include "qeinteg/platform/host/HostOutput.h"

PnProcedure::PnProcedure(const std::string& name)
    : name_(name), id_(qehost::HostOutput::instance().openProcedure(name)) {}

PnProcedure::~PnProcedure() {
    qehost::HostOutput::instance().closeProcedure(id_);
}
