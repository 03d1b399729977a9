#include "DatasetFixture.h"

#include "qeinteg/platform/host/testing/CodePageTesting.h"
#include "qeinteg/platform/host/text/CodePage.h"

void HostCodePageTest::SetUp() {
    ASSERT_TRUE(qehost::testing::SetCodePage(GetParam()));
}

std::string HostCodePageTest::H(const std::string& utf8) {
    std::string host;
    TAVOMBU8ToGeneric(utf8, host, nullptr);
    return host;
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
