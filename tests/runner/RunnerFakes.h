// Small stand-ins for the library's iterators and containers, and a fixture that resets the engine.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/data/QEStatDataIterator.h"
#include "qeinteg/platform/engine/service/CallRecord.h"
#include "qeinteg/platform/engine/service/JobScript.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"

namespace runnertest {

// `rows` rows of `columns` numbers. `beforeRow`, when set, runs before each row and may end the
// stream with its own status (return non-zero).
class FakeIterator : public QEStatDataIterator {
  public:
    FakeIterator(std::string name, int rows, int columns)
        : name_(std::move(name)), rows_(rows), columns_(columns) {}

    std::string getName() override { return name_; }
    std::string getDataModel() override { return "<dataModel/>"; }
    uint32_t nextRecord() override;
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override;
    void dispose(JNIEnv*) override {}
    uint32_t Rewind() override {
        row_ = -1;
        return 0;
    }

    std::function<uint32_t(int row)> beforeRow;
    int valuesRead = 0;

  private:
    std::string name_;
    int rows_;
    int columns_;
    int row_ = -1;
    double value_ = 0;
};

class FakeContainer : public QEStatContainer {
  public:
    FakeContainer(std::string name, std::string path)
        : name_(std::move(name)), path_(std::move(path)) {}
    std::string getName() override { return name_; }
    std::string getAbsolutePath() override { return path_; }

  private:
    std::string name_;
    std::string path_;
};

// The operations of the engine's call record, in order.
std::vector<std::string> Operations();
// Operations of one executor only.
std::vector<std::string> Operations(int executor);

class RunnerTest : public testing::Test {
  protected:
    void SetUp() override { qelocal::LocalEngine::instance().reset(); }
    void TearDown() override { qelocal::LocalEngine::instance().reset(); }
};

}  // namespace runnertest
