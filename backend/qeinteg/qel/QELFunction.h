// Base of the function builders. A builder knows one kind of job function, collects its options
// through setters, keeps a list of predecessor builders and, on GenerateQEL(), turns itself into
// one function of a JNIQelProgram: predecessors first, then its own JSON configuration.
//
// Builders never own the program, their predecessors or the created function (the object manager
// frees that at the next cleanJRef()). Build a chain from sources to the last builder, link it with
// AddPredFunction, then call GenerateQEL() once on the last builder.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"

class JNIQelFunction;
class JNIQelProgram;

class QEINTEG_EXPORT QELFunction {
  public:
    // Which builder an object is.
    enum QEFunction {
        None = 0,
        Read = 1,
        Write = 2,
        DataModelBuilder = 3,
        UpdateDataModel = 4,
        Aggregate = 5,
        FilterFields = 6,
        Union = 7,
        Join = 8,
        DeriveField = 9,
        ReclassifyField = 10,
        FilterRecords = 11,
        BalanceRecords = 12,
        Reprojection = 13
    };

    explicit QELFunction(JNIQelProgram* program);
    // Copies share the program, the created function and the predecessors (none of them owned).
    QELFunction(const QELFunction& other);
    QELFunction& operator=(const QELFunction& other);
    virtual ~QELFunction();

    // The created function; null until GenerateQEL() has succeeded.
    virtual JNIQelFunction* GetQEFunction();
    // Creates the function (and, first, the functions of the predecessors it reads). Once created,
    // later calls return true and create nothing. False when there is no program or the function
    // could not be created.
    virtual bool GenerateQEL() = 0;

    QEFunction GetFunctionType() const { return functionType_; }
    void SetJNIQelProgram(JNIQelProgram* program) { program_ = program; }
    bool IsCreatedQel() const { return isCreatedQel_; }

    // Appends an input builder (not owned) and its tag; a null predecessor is ignored. An empty
    // tag is completed with a generated one by builders that take tagged inputs.
    void AddPredFunction(QELFunction* predecessor, const std::string& tag);
    void AddPredFunction(QELFunction* predecessor);

    const std::vector<QELFunction*>& GetPredecessors() const { return predecessors_; }
    const std::vector<std::string>& GetTags() const { return tags_; }

  protected:
    void SetFunctionType(QEFunction type) { functionType_ = type; }
    void SetIsCreatedQel(bool created) { isCreatedQel_ = created; }

    // Makes every tag non-empty and unique: an empty tag becomes prefix + counter, a tag equal to
    // an earlier one gets the counter appended. One counter serves the whole call. Tags are taken
    // literally (a "%" in a tag is an ordinary character).
    void CompleteTags(const char* prefix);

    JNIQelProgram* GetProgram() const { return program_; }
    // Generates predecessors[0] (its result is not tested) and returns its function; null without
    // a predecessor or when the predecessor has none.
    JNIQelFunction* GenerateFirstInput();
    // Generates every predecessor in order (results not tested).
    void GenerateAllInputs();
    // Tag of predecessor i to its function; predecessors without a function are left out.
    std::map<std::string, JNIQelFunction*> TaggedInputs();
    // Stores a created function and marks the builder created. A wrapper that holds no Java object
    // (the program refused the function) counts as a failure: false, and nothing is stored.
    bool StoreFunction(JNIQelFunction* created);
    // Sets the function as it is, for builders that adopt an existing one.
    void SetFunction(JNIQelFunction* function) { function_ = function; }

    // Marks the builder as generating for its lifetime. A builder reached again while it is being
    // generated sits on a cycle of predecessors; the guard then tests false and the caller gives up
    // instead of recursing without end.
    class GenerationGuard {
      public:
        explicit GenerationGuard(QELFunction& builder);
        ~GenerationGuard();
        GenerationGuard(const GenerationGuard&) = delete;
        GenerationGuard& operator=(const GenerationGuard&) = delete;
        explicit operator bool() const { return entered_; }

      private:
        QELFunction& builder_;
        bool entered_;
    };

  private:
    JNIQelProgram* program_;
    JNIQelFunction* function_ = nullptr;
    std::vector<QELFunction*> predecessors_;
    std::vector<std::string> tags_;
    QEFunction functionType_ = None;
    bool isCreatedQel_ = false;
    bool generating_ = false;
};
