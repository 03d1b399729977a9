// Base of the function builders. A builder knows one kind of job function, collects its options
// through setters, keeps a list of predecessor builders and, on GenerateQEL(), turns itself into
// one function of a JNIQelProgram: predecessors first, then its own JSON configuration.
//
// GenerateQEL() is the same protocol for every builder and lives here: no program gives false, an
// already created builder gives true, a builder met again while it is being generated (a cycle of
// predecessors) gives false, then the predecessors are generated as the builder's InputKind() says
// and the builder's CreateFunction() writes its configuration and asks the program for the
// function. A derived builder implements only those two (and CanGenerate() when it has a
// precondition of its own).
//
// Builders never own the program, their predecessors or the created function (the object manager
// frees that at the next cleanJRef()). Build a chain from sources to the last builder, link it with
// AddPredFunction, then call GenerateQEL() once on the last builder.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "qeinteg/qeinteg_export.h"

class JNIJSONObject;
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
    virtual bool GenerateQEL();

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
    // How a builder reads its predecessors before it creates its function.
    enum class Inputs {
        None,           // a source: no predecessor is generated
        First,          // predecessors[0] is generated; its result is not tested
        FirstRequired,  // predecessors[0] is generated; its failure fails this builder
        Tagged          // tags completed with "str", then every predecessor generated in order
    };
    virtual Inputs InputKind() const { return Inputs::First; }
    // A condition of the builder's own, tested before any predecessor is generated.
    virtual bool CanGenerate() const { return true; }
    // Writes the configuration and creates the function in program. `input` is the function of
    // predecessors[0] for the single-input kinds (null without one), null for the others. Null when
    // nothing could be created (the base creates nothing: a class that overrides GenerateQEL() as a
    // whole need not override this).
    virtual JNIQelFunction* CreateFunction(JNIQelProgram& program, JNIQelFunction* input);
    // The single-input form: createQelFunction(name, config, input) when the builder has a
    // predecessor, createQelFunction(name, config) when it has none.
    JNIQelFunction* CreateWithInput(JNIQelProgram& program, const std::string& name,
                                    JNIJSONObject* config, JNIQelFunction* input);
    bool HasPredecessors() const { return !predecessors_.empty(); }

    void SetFunctionType(QEFunction type) { functionType_ = type; }
    void SetIsCreatedQel(bool created) { isCreatedQel_ = created; }

    // Makes every tag non-empty and unique: an empty tag becomes prefix + counter, a tag equal to
    // an earlier one gets the counter appended. One counter serves the whole call. Tags are taken
    // literally (a "%" in a tag is an ordinary character).
    void CompleteTags(const char* prefix);

    JNIQelProgram* GetProgram() const { return program_; }
    // Tag of predecessor i to its function; predecessors without a function are left out.
    std::map<std::string, JNIQelFunction*> TaggedInputs();
    // Sets the function as it is, for builders that adopt an existing one.
    void SetFunction(JNIQelFunction* function) { function_ = function; }

  private:
    // Generates the predecessors as InputKind() says. False when a required one failed; `input`
    // is set to predecessors[0]'s function for the single-input kinds.
    bool GenerateInputs(JNIQelFunction*& input);
    // Stores a created function and marks the builder created. A wrapper that holds no Java object
    // (the program refused the function) counts as a failure: false, and nothing is stored.
    bool StoreFunction(JNIQelFunction* created);

    JNIQelProgram* program_;
    JNIQelFunction* function_ = nullptr;
    std::vector<QELFunction*> predecessors_;
    std::vector<std::string> tags_;
    QEFunction functionType_ = None;
    bool isCreatedQel_ = false;
    bool generating_ = false;
};
