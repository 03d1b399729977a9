#include "qeinteg/platform/engine/job/LocalJob.h"

#include <exception>

#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/job/JobPlan.h"
#include "qeinteg/platform/engine/job/QelParser.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"

namespace qelocal {

namespace {

// The time-series and model functions run in the record-at-a-time pipelines of EngineJob.h: one
// linear pipeline per line.
bool NeedsLinearPipelines(const JobGraph& graph) {
    for (const QelCall& call : graph.calls) {
        if (call.ns == "tsdp" || call.ns == "tcm" || call.ns == "rtsdp" || call.ns == "scoring" ||
            call.ns == "OutputComponent")
            return true;
    }
    return false;
}

void RunLinearPipelines(const JobGraph& graph, JobEnvironment& env,
                        std::vector<WrittenOutput>* outputs) {
    std::vector<EnginePipeline> pipelines;
    for (const QelPipeline& pipeline : graph.pipelines) {
        EnginePipeline steps;
        for (int index : pipeline.calls) {
            const QelCall& call = graph.calls.at(static_cast<size_t>(index));
            EngineStep step{call.ns, call.function, {}, call.pos.line};
            for (const JsonValue* config : graph.configurations(call))
                step.configs.push_back(*config);
            steps.push_back(std::move(step));
        }
        pipelines.push_back(std::move(steps));
    }
    std::vector<WrittenOutput> written;
    env.written = [&written](const std::string& data, const std::string& model, bool csv,
                             const std::vector<EngineField>& fields) {
        written.push_back(WrittenOutput{data, model, csv, fields});
    };
    RunPipelines(pipelines, env);
    if (outputs != nullptr)
        *outputs = std::move(written);
}

}  // namespace

void ExecuteLocalJob(const std::string& jobText,
                     const std::vector<EmbeddedQE::Container*>& inputContainers,
                     const std::vector<EmbeddedQE::Container*>& outputContainers,
                     const std::vector<EmbeddedQE::RowDataIterator*>& inputIterators,
                     const CancelSignal& cancel, ListenerEvents& events,
                     std::vector<WrittenOutput>* outputs) {
    JobGraph graph;
    QelParseError parseError;
    if (!ParseQel(jobText, graph, parseError)) {
        events.error("QEL_SYNTAX_ERROR", "the job text is not valid QEL: " + parseError.describe(),
                     "");
        return;
    }
    try {
        JobEnvironment env;
        env.inputContainers = inputContainers;
        env.outputContainers = outputContainers;
        env.inputIterators = inputIterators;
        env.analyticRoot = LocalEngine::instance().analyticRoot();
        env.mapServiceTimeout = LocalEngine::instance().mapServiceTimeout();
        env.cancelled = [&cancel] { return cancel.raised(); };
        env.progress = [&events](float fraction) { events.progress(fraction); };
        env.message = [&events](const std::string& id, const std::string& text) {
            events.message(id, text);
        };
        if (NeedsLinearPipelines(graph)) {
            RunLinearPipelines(graph, env, outputs);
        } else {
            JobPlan plan(graph, env);
            plan.run();
            if (outputs != nullptr)
                *outputs = plan.outputs();
        }
    } catch (const EngineCancelled&) {
        events.cancel();
        return;
    } catch (const EngineError& e) {
        events.error(e.id(), e.what(), "");
        return;
    } catch (const std::exception& e) {
        events.error("ENGINE_ERROR", e.what(), "");
        return;
    }
    events.success();
}

void RunLocalJob(const std::string& jobText,
                 const std::vector<EmbeddedQE::Container*>& outputContainers) {
    JobGraph graph;
    QelParseError parseError;
    if (!ParseQel(jobText, graph, parseError))
        throw EngineError("the job text is not valid QEL: " + parseError.describe(),
                          "QEL_SYNTAX_ERROR");
    JobEnvironment env;
    env.outputContainers = outputContainers;
    env.analyticRoot = LocalEngine::instance().analyticRoot();
    env.mapServiceTimeout = LocalEngine::instance().mapServiceTimeout();
    JobPlan plan(graph, env);
    plan.run();
}

}  // namespace qelocal
