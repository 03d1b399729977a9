// The embedded engine's native interface, as the library relies on it.
//
// One QEServiceManager exists per process. It owns its execution and metadata services. An executor
// made by the execution service belongs to the caller, who calls release() and then deletes it.
// Every call takes the JNIEnv of the calling thread. Calls may throw EmbeddedQE::JavaException or
// EmbeddedQE::Exception; none of them throws anything else.
//
// Threads: every call is made on the procedure thread, except QEExecutor::cancel(), which another
// thread may call while execute() blocks.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace EmbeddedQE {

// An engine failure with a message.
class Exception {
  public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    virtual ~Exception() = default;
    const std::string& getMessage() const { return message_; }

  private:
    std::string message_;
};

// A failure raised on the engine's Java side: the exception's message and its stack trace.
class JavaException : public Exception {
  public:
    JavaException(std::string message, std::string trace)
        : Exception(std::move(message)), trace_(std::move(trace)) {}
    const std::string& getTrace() const { return trace_; }

  private:
    std::string trace_;
};

// The engine's application settings: three fixed texts and any number of key/value properties, all
// UTF-8. The engine copies what it needs during QEServiceManager construction.
class EQEAppSetting {
  public:
    EQEAppSetting(std::string analyticRoot, std::string componentsPath, std::string locale)
        : analyticRoot_(std::move(analyticRoot)),
          componentsPath_(std::move(componentsPath)),
          locale_(std::move(locale)) {}

    void addProperty(const std::string& key, const std::string& value) {
        properties_.emplace_back(key, value);
    }

    const std::string& getAnalyticRoot() const { return analyticRoot_; }
    const std::string& getComponentsPath() const { return componentsPath_; }
    const std::string& getLocale() const { return locale_; }
    // Properties in the order they were added.
    const std::vector<std::pair<std::string, std::string>>& getProperties() const {
        return properties_;
    }

  private:
    std::string analyticRoot_;
    std::string componentsPath_;
    std::string locale_;
    std::vector<std::pair<std::string, std::string>> properties_;
};

// A named file handed to a job as input or output.
class Container {
  public:
    virtual std::string getName() = 0;
    // UTF-8 path of the container's file.
    virtual std::string getAbsolutePath() = 0;
    virtual ~Container() = default;
};

class RowBatchIterator;

// A stream of rows that the engine pulls.
//
// nextRecord() returns 0 when a row is current, 1 at the end, any other value on failure (3 means
// cancelled). getRecordValue(index, &data, &length) returns 0 on success and then points data at
// the field's value of the current row: a double for numeric storages, `length` bytes of UTF-8 text
// for strings; data is null for a missing value. The pointer stays valid until the next
// nextRecord(), Rewind() or the iterator's destruction.
class RowDataIterator {
  public:
    virtual std::string getName() = 0;
    // The row layout as data model XML.
    virtual std::string getDataModel() = 0;
    virtual uint32_t nextRecord() = 0;
    virtual uint32_t getRecordValue(size_t index, const void** data, size_t* length) = 0;
    virtual void dispose(JNIEnv* env) = 0;
    virtual ~RowDataIterator() = default;
    // Starts the stream again from its first row; 0 on success.
    virtual uint32_t Rewind() { return 0; }
    // The batch face of this iterator when it offers one (it reads the same stream), else null.
    virtual RowBatchIterator* batchIterator() { return nullptr; }
};

// Rows of a stream in column batches: one column per field, in field order.
struct RowBatch {
    struct Column {
        // True for a string field: its values are in text/starts/missing, else in numbers.
        bool isText = false;
        // Numeric fields: one value per row; the system-missing value (-DBL_MAX) marks a missing
        // one.
        std::vector<double> numbers;
        // Or, when the reader accepts views and the producer can give one, the numbers where they
        // already lie: row r's number is view[r * viewStride] and `numbers` is empty.
        const double* view = nullptr;
        std::ptrdiff_t viewStride = 0;
        // String fields: row r's UTF-8 bytes are text[starts[r], starts[r + 1]) (starts has
        // rows + 1 entries); missing[r] is 1 for a missing value.
        std::string text;
        std::vector<size_t> starts;
        std::vector<unsigned char> missing;
    };
    std::vector<Column> columns;
    size_t rows = 0;
    // Set by a reader that handles numeric views: the producer may then give any numeric column
    // as a view instead of copying its numbers. A view stays valid as long as the batch does.
    bool acceptViews = false;
};

// The batch face of a row iterator: many rows per call instead of two calls per value.
class RowBatchIterator {
  public:
    // Replaces the batch's rows with up to maxRows (at least 1) following rows of the stream.
    // Returns 0 when it holds at least one row, else the status nextRecord() would give (1 at the
    // end, 3 when cancelled, any other value on failure). The rows are those nextRecord() and
    // getRecordValue() would have given, in order; a batch stays valid until the next call.
    virtual uint32_t nextBatch(RowBatch& batch, size_t maxRows) = 0;

  protected:
    ~RowBatchIterator() = default;
};

// Receives the events of one run. Exactly one of onSuccess, onError and onCancel ends a run.
class ExecutionListener {
  public:
    virtual void onCancel() = 0;
    virtual void onError(const std::string& id, const std::string& message,
                         const std::string& detail) = 0;
    virtual void onInit(const std::string& executionId) = 0;
    virtual void onMessage(const std::string& text) = 0;
    virtual void onProgress(float fraction) = 0;
    virtual void onSuccess() = 0;
    virtual ~ExecutionListener() = default;
};

// A listener that also receives messages with their message ids.
class ExtendedExecutionListener : public ExecutionListener {
  public:
    using ExecutionListener::onMessage;
    virtual void onMessage(const std::string& id, const std::string& text) = 0;
};

// One job: prepare, register inputs and outputs, execute, fetch outputs, release.
class QEExecutor {
  public:
    virtual void prepare(JNIEnv* env, const std::string& jobText) = 0;
    virtual void addInputContainer(JNIEnv* env, Container* container) = 0;
    virtual void addOutputContainer(JNIEnv* env, Container* container) = 0;
    virtual void addInputIterator(JNIEnv* env, RowDataIterator* iterator, int flags) = 0;
    // Returns when the run has ended; the listener has been told how.
    virtual void execute(JNIEnv* env, ExecutionListener* listener) = 0;
    // A row iterator over a named output of the finished run, or null. The caller disposes it.
    virtual RowDataIterator* getOutputIterator(JNIEnv* env, const std::string& name) = 0;
    // Safe to call from another thread while execute() runs.
    virtual void cancel(JNIEnv* env) = 0;
    virtual void release(JNIEnv* env) = 0;
    virtual ~QEExecutor() = default;
};

class QEExecutionService {
  public:
    // A new executor for the locale; the caller owns it.
    virtual QEExecutor* createExecutor(const std::string& locale) = 0;
    virtual ~QEExecutionService() = default;
};

// Descriptive queries. Replies other than metadata() are JSON texts.
class QEMetaDataService {
  public:
    // The data model XML of the job's data source.
    virtual std::string metadata(JNIEnv* env, const std::string& jobText, int64_t& reserved,
                                 int flags, Container* container) = 0;
    virtual std::string dataSourceInfo(JNIEnv* env, const std::string& jobText) = 0;
    virtual std::string mapServiceLayers(JNIEnv* env, const std::string& url) = 0;
    virtual void geographics(JNIEnv* env, std::vector<std::string>& out) = 0;
    virtual void projections(JNIEnv* env, std::vector<std::string>& out) = 0;
    virtual void recommendPCS(JNIEnv* env, const std::string& input, int count,
                              std::vector<std::string>& out) = 0;
    virtual void recommendPCS(JNIEnv* env, const std::string& input,
                              std::vector<std::string>& out) = 0;
    virtual std::string coordinatesSystem(JNIEnv* env, const std::string& name) = 0;
    virtual std::string coordinatesSystem(JNIEnv* env, int wkid) = 0;
    virtual ~QEMetaDataService() = default;
};

// The process-wide engine service. Construction starts the engine with the settings; the settings
// object may be destroyed as soon as the constructor returns.
class QEServiceManager {
  public:
    QEServiceManager(JNIEnv* env, const EQEAppSetting& settings);
    virtual ~QEServiceManager();
    QEServiceManager(const QEServiceManager&) = delete;
    QEServiceManager& operator=(const QEServiceManager&) = delete;

    QEExecutionService* getExecutionService();
    QEMetaDataService* getMetaDataService();

  private:
    class Impl;
    Impl* impl_;
};

}  // namespace EmbeddedQE
