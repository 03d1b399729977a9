// The data source a procedure reads: the host's active dataset as the procedure sees it. Tests make
// a dataset active with SetActiveDataset; without one the data source has no columns and no cases.
#pragma once

#include <memory>

#include "qeinteg/platform/host/data/HostDataset.h"

class ProcedureDataSource : public TAVO_DataSource {
  public:
    // Over the host's active dataset at the time of construction.
    ProcedureDataSource();
    // Over a given dataset.
    explicit ProcedureDataSource(std::shared_ptr<const HostDataset> data);
    // Over a dataset of `columnCount` numeric variables V1, V2, ... and no cases.
    explicit ProcedureDataSource(int columnCount);
    ~ProcedureDataSource() override;

    // Number of variables of the dataset.
    int ColumnCount() const override { return data_->ColumnCount(); }
    // Whether reading stops at the end of each split group (true by default).
    virtual void SetSplitEndCheck(bool check);
    virtual bool SplitEndCheck() const;
    // Replaces the dataset by one of `columnCount` numeric variables and no cases.
    void SetColumnCount(int columnCount);

    const TAVO_Variable& GetVariable(int column) const override {
        return data_->GetVariable(column);
    }
    int GetWeightVarIndex() const override { return data_->GetWeightVarIndex(); }
    int GetSplitCount() const override { return data_->GetSplitCount(); }
    int GetSplitVarIndex(int i) const override { return data_->GetSplitVarIndex(i); }
    TAVO_InputCaseIterator* MakeIterator(void* filter) const override {
        return data_->MakeIterator(filter);
    }

    // The host's active dataset (null for none); reset to none for every test.
    static void SetActiveDataset(std::shared_ptr<const HostDataset> data);
    static std::shared_ptr<const HostDataset> ActiveDataset();

  private:
    std::shared_ptr<const HostDataset> data_;
    bool splitEndCheck_ = true;
};
