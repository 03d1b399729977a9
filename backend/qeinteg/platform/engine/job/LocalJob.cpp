#include "qeinteg/platform/engine/job/LocalJob.h"

#include <exception>

#include "qeinteg/platform/engine/exec/EngineJob.h"
#include "qeinteg/platform/engine/job/QelParser.h"

namespace qelocal {

void ExecuteLocalJob(const std::string& jobText,
                     const std::vector<EmbeddedQE::Container*>& inputContainers,
                     const std::vector<EmbeddedQE::Container*>& outputContainers,
                     const std::vector<EmbeddedQE::RowDataIterator*>& inputIterators,
                     const CancelSignal& cancel, ListenerEvents& events) {
    JobGraph graph;
    QelParseError parseError;
    if (!ParseQel(jobText, graph, parseError)) {
        events.error("QEL_SYNTAX_ERROR", "the job text is not valid QEL: " + parseError.describe(),
                     "");
        return;
    }
    try {
        std::vector<EnginePipeline> pipelines;
        for (const QelPipeline& pipeline : graph.pipelines) {
            EnginePipeline steps;
            for (int index : pipeline.calls) {
                const QelCall& call = graph.calls.at(static_cast<size_t>(index));
                EngineStep step{call.ns, call.function, {}, call.pos.line};
                for (const JsonValue* config : graph.configurations(call)) {
                    step.configs.push_back(*config);
                }
                steps.push_back(std::move(step));
            }
            pipelines.push_back(std::move(steps));
        }
        JobEnvironment env;
        env.inputContainers = inputContainers;
        env.outputContainers = outputContainers;
        env.inputIterators = inputIterators;
        env.cancelled = [&cancel] { return cancel.raised(); };
        env.progress = [&events](float fraction) { events.progress(fraction); };
        env.message = [&events](const std::string& id, const std::string& text) {
            events.message(id, text);
        };
        RunPipelines(pipelines, env);
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

}  // namespace qelocal
