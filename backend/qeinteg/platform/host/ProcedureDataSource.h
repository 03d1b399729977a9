// The data source a procedure reads: the active dataset as the procedure sees it.
#pragma once

class ProcedureDataSource {
  public:
    explicit ProcedureDataSource(int columnCount = 0) : columnCount_(columnCount) {}
    virtual ~ProcedureDataSource();

    // Number of variables of the dataset.
    virtual int ColumnCount() const;
    // Whether reading stops at the end of each split group (true by default).
    virtual void SetSplitEndCheck(bool check);
    virtual bool SplitEndCheck() const;

    void SetColumnCount(int columnCount) { columnCount_ = columnCount; }

  private:
    int columnCount_;
    bool splitEndCheck_ = true;
};
