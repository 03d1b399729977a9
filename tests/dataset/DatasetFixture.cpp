#include "DatasetFixture.h"

#include "qeinteg/platform/host/DataText.h"

void HostCodePageTest::SetUp() {
    qehost::datatext::SetCodePage(GetParam());
}

std::string HostCodePageTest::H(const std::string& utf8) {
    return qehost::datatext::FromUtf8(utf8);
}

int AddNumeric(HostDataset& data, const std::string& name, int formatType) {
    TAVO_Variable variable(name, 0);
    variable.SetFormat(TAVO_Format{formatType, formatType == 5 ? 8 : 20, formatType == 5 ? 2 : 0});
    variable.SetMeasurementLevel(TAVO_Variable_Enumerations::Scale);
    return data.AddVariable(std::move(variable));
}

int AddString(HostDataset& data, const std::string& name, int width) {
    return data.AddVariable(TAVO_Variable(name, width));
}
