// Shared set-up of the dataset tests: every test runs once with the host in UTF-8 and once in
// windows-1252, and builds its host text from UTF-8 literals in the host's code page.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "qeinteg/platform/host/data/HostDataset.h"

class HostCodePageTest : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override;
    // A UTF-8 literal in the host's code page.
    static std::string H(const std::string& utf8);
    bool Utf8Host() const { return GetParam() == "UTF-8"; }
};

// The code pages every dataset test runs with.
#define QE_ALL_CODE_PAGES(suite)                                                         \
    INSTANTIATE_TEST_SUITE_P(CodePages, suite, testing::Values("UTF-8", "WINDOWS-1252"), \
                             [](const testing::TestParamInfo<std::string>& info) {       \
                                 return info.param == "UTF-8" ? std::string("Utf8")      \
                                                              : std::string("Cp1252");   \
                             })

// Appends a numeric variable and returns its column.
int AddNumeric(HostDataset& data, const std::string& name, int formatType = 5);
// Appends a string variable of the given width and returns its column.
int AddString(HostDataset& data, const std::string& name, int width);
