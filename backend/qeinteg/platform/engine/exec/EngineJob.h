// Runs the functions of a job on real data: read (from an input iterator, a CSV file or a QEBF
// file), descriptives (into the job's output containers) and write (to CSV or QEBF with the data
// model beside the data).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qeinteg/platform/engine/exec/EngineTypes.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"

namespace qelocal {

// One call of a pipeline with its configuration values in argument order (the piped input left
// out), as the job text gives them.
struct EngineStep {
    std::string ns;
    std::string function;
    std::vector<nlohmann::ordered_json> configs;
    int line = 0;  // where the call is written, for messages; 0 when not known
};
using EnginePipeline = std::vector<EngineStep>;

// What a run may use and whom it tells.
struct JobEnvironment {
    std::vector<EmbeddedQE::Container*> inputContainers;
    std::vector<EmbeddedQE::Container*> outputContainers;
    std::vector<EmbeddedQE::RowDataIterator*> inputIterators;
    // Polled once per record; true stops the run with EngineCancelled.
    std::function<bool()> cancelled;
    // Fractions in 0..1, non-decreasing over the run.
    std::function<void(float)> progress;
    // Informational messages: id and text.
    std::function<void(const std::string&, const std::string&)> message;
    // Told of each file a write finished: data path, data model path ("" when none), whether the
    // data is CSV, and the fields. The files are removed again when a later part of the job fails.
    std::function<void(const std::string&, const std::string&, bool,
                       const std::vector<EngineField>&)>
        written;
    // The engine's analytic root: relative file paths are taken under its "keld/public/"
    // directory, named engine data sources live in its "datasources/" directory.
    std::string analyticRoot;
    // How long a map service may take to answer one request.
    std::chrono::milliseconds mapServiceTimeout{10000};
};

// Where a file URI of a job points: absolute paths as they are, relative ones under the analytic
// root's "keld/public/" directory.
std::string ResolveJobPath(const std::string& uri, const JobEnvironment& env);
// The data and data model files of the named engine data source.
std::string DataSourcePath(const std::string& name, const JobEnvironment& env);
std::string DataSourceModelPath(const std::string& name, const JobEnvironment& env);

// The records of a read step: an input iterator or engine data source by name, a CSV or QEBF
// file, or a geographic source (a shape file or a map-service layer); "maxRecordsCount" and
// "readErrorThreshold" applied. Throws EngineError.
std::unique_ptr<RowSource> OpenReadSource(const EngineStep& step, JobEnvironment& env);
// Runs a descriptives step over `source` into its output containers.
void RunDescriptivesStep(const EngineStep& step, RowSource& source, JobEnvironment& env, float from,
                         float to);

// Checks that every function of every pipeline is known and in a place where it can run; throws
// EngineError naming the first that is not.
void ValidatePipelines(const std::vector<EnginePipeline>& pipelines);

// Runs the pipelines in order, pulling every record of each source once. Throws EngineError on a
// failure and EngineCancelled when the run was cancelled; outputs are written only after all
// records of their pipeline were read.
void RunPipelines(const std::vector<EnginePipeline>& pipelines, JobEnvironment& environment);

// The file path of an engine URI: "file:///C:/a" gives "C:/a", "file:////tmp/a" gives "/tmp/a";
// a text without the "file:" scheme is taken as a path.
std::string PathFromUri(const std::string& uri);

}  // namespace qelocal
