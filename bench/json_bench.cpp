// JSON value model through JNI against nlohmann/json on the same 10 MB output-table document:
// build, serialise, parse, a node-by-node walk and the same walk over the document copied out of
// Java in one call (readTree). Each pair runs in the same process; the ratios printed at the end
// are the figures to compare between runs.
#include <benchmark/benchmark.h>

#include "common/BenchSupport.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONDouble.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/java/jni/Classes.h"

namespace {

// The shape of an engine output document: a header, then tables of labelled rows of numbers and
// category texts, each with dimension labels and footnotes.
constexpr int kTables = 800;
constexpr int kRows = 100;
constexpr int kColumns = 12;

struct Lcg {
    uint64_t state = 42;
    uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
};

std::string Label(const char* stem, int i) {
    return std::string(stem) + std::to_string(i);
}

// Calls the visitor's operations in the same order for both libraries, so both documents match.
template <typename Builder>
void BuildDocument(Builder& b) {
    Lcg random;
    b.beginRoot();
    b.text("title", "Descriptive Statistics");
    b.number("version", 3);
    b.beginArray("tables");
    for (int t = 0; t < kTables; ++t) {
        b.beginObject();
        b.text("name", Label("table_", t));
        b.text("caption",
               "Output of procedure step " + std::to_string(t) + " \xE2\x80\x93 summary");
        b.beginArray("columns");
        for (int c = 0; c < kColumns; ++c)
            b.elementText(Label("Column ", c));
        b.endArray();
        b.beginArray("rows");
        for (int r = 0; r < kRows; ++r) {
            b.beginArray();
            b.elementText(Label("Row label ", r));
            for (int c = 1; c < kColumns; ++c) {
                const uint32_t v = random.next();
                if (c % 3 == 0) {
                    b.elementNumber(static_cast<int>(v % 100000));
                } else if (c % 3 == 1) {
                    b.elementReal(static_cast<double>(v) / 1024.0);
                } else {
                    b.elementText(Label("cat", static_cast<int>(v % 50)));
                }
            }
            b.endArray();
        }
        b.endArray();
        b.beginObject("footnotes");
        b.text("a", "Lower bound of the true significance.");
        b.number("decimals", 2);
        b.endObject();
        b.endObject();
    }
    b.endArray();
    b.endRoot();
}

// --- the wrappers -------------------------------------------------------------------------------

class JniBuilder {
  public:
    std::unique_ptr<JNIJSONObject> root;

    void beginRoot() {
        root = std::make_unique<JNIJSONObject>();
        objects_.push_back(root.get());
        kinds_.push_back('o');
    }
    void endRoot() { pop(); }
    void text(const char* key, const std::string& v) { objects_.back()->put(key, v); }
    void number(const char* key, int v) { objects_.back()->put(key, v); }
    void beginArray(const char* key) {
        auto* a = new JNIJSONArray();
        objects_.back()->put(key, a);
        push(a);
    }
    void beginArray() {
        auto* a = new JNIJSONArray();
        arrays_.back()->add(a);
        push(a);
    }
    void beginObject(const char* key) {
        auto* o = new JNIJSONObject();
        objects_.back()->put(key, o);
        push(o);
    }
    void beginObject() {
        auto* o = new JNIJSONObject();
        arrays_.back()->add(o);
        push(o);
    }
    void endArray() { pop(); }
    void endObject() { pop(); }
    void elementText(const std::string& v) { arrays_.back()->add(v); }
    void elementNumber(int v) { arrays_.back()->add(v); }
    void elementReal(double v) { arrays_.back()->add(v); }

  private:
    void push(JNIJSONArray* a) {
        arrays_.push_back(a);
        kinds_.push_back('a');
    }
    void push(JNIJSONObject* o) {
        objects_.push_back(o);
        kinds_.push_back('o');
    }
    void pop() {
        // The Java collections hold the children; the wrappers can go as soon as they are filled.
        const char kind = kinds_.back();
        kinds_.pop_back();
        if (kind == 'a') {
            delete arrays_.back();
            arrays_.pop_back();
        } else {
            if (objects_.back() != root.get())
                delete objects_.back();
            objects_.pop_back();
        }
    }
    std::vector<JNIJSONObject*> objects_;
    std::vector<JNIJSONArray*> arrays_;
    std::vector<char> kinds_;
};

struct JniWalker {
    JNIJSONObject objects;
    JNIJSONArray arrays;
    JNIJSONDouble numbers;
    double sum = 0;
    size_t textBytes = 0;
    size_t nodes = 0;

    void visit(jobject node) {
        ++nodes;
        if (node == nullptr)
            return;
        if (objects.isJSONObject(node)) {
            for (const std::string& key : objects.keySet(node))
                visit(objects.get(node, key.c_str()));
        } else if (objects.isJSONArray(node)) {
            const int n = arrays.size(node);
            for (int i = 0; i < n; ++i)
                visit(arrays.get(node, i));
        } else if (objects.isString(node)) {
            textBytes += objects.getString(static_cast<jstring>(node)).size();
        } else {
            sum += numbers.doubleValue(node);
        }
    }
};

// The same walk over the packed copy; the copy itself is part of every walk.
struct PackedWalker {
    double sum = 0;
    size_t textBytes = 0;
    size_t nodes = 0;

    void visit(qeinteg::jni::PackedJson::Node node) {
        ++nodes;
        if (node.isObject()) {
            node.forEachMember([this](std::string_view, qeinteg::jni::PackedJson::Node value) {
                visit(value);
                return true;
            });
        } else if (node.isArray()) {
            node.forEachElement([this](qeinteg::jni::PackedJson::Node value) {
                visit(value);
                return true;
            });
        } else if (node.isString()) {
            textBytes += node.text().size();
        } else if (node.isNumber()) {
            sum += node.number();
        }
    }
};

// --- nlohmann/json ------------------------------------------------------------------------------

class NativeBuilder {
  public:
    nlohmann::json root;

    void beginRoot() {
        root = nlohmann::json::object();
        stack_.push_back(&root);
    }
    void endRoot() { stack_.pop_back(); }
    void text(const char* key, const std::string& v) { (*stack_.back())[key] = v; }
    void number(const char* key, int v) { (*stack_.back())[key] = v; }
    void beginArray(const char* key) {
        stack_.push_back(&((*stack_.back())[key] = nlohmann::json::array()));
    }
    void beginArray() {
        stack_.back()->push_back(nlohmann::json::array());
        stack_.push_back(&stack_.back()->back());
    }
    void beginObject(const char* key) {
        stack_.push_back(&((*stack_.back())[key] = nlohmann::json::object()));
    }
    void beginObject() {
        stack_.back()->push_back(nlohmann::json::object());
        stack_.push_back(&stack_.back()->back());
    }
    void endArray() { stack_.pop_back(); }
    void endObject() { stack_.pop_back(); }
    void elementText(const std::string& v) { stack_.back()->push_back(v); }
    void elementNumber(int v) { stack_.back()->push_back(v); }
    void elementReal(double v) { stack_.back()->push_back(v); }

  private:
    std::vector<nlohmann::json*> stack_;
};

struct NativeWalker {
    double sum = 0;
    size_t textBytes = 0;
    size_t nodes = 0;

    void visit(const nlohmann::json& node) {
        ++nodes;
        if (node.is_object()) {
            for (const auto& [key, value] : node.items())
                visit(value);
        } else if (node.is_array()) {
            for (const auto& value : node)
                visit(value);
        } else if (node.is_string()) {
            textBytes += node.get_ref<const std::string&>().size();
        } else if (node.is_number()) {
            sum += node.get<double>();
        }
    }
};

// --- shared inputs ------------------------------------------------------------------------------

const std::string& DocumentText() {
    static const std::string text = [] {
        NativeBuilder b;
        BuildDocument(b);
        return b.root.dump();
    }();
    return text;
}

// The first passes through the Java side run interpreted; they are not what a long-running host
// sees, so every step is run twice before it is timed (the native side too, for equal caches).
constexpr int kWarmUp = 4;

void Build_JNI(benchmark::State& state) {
    for (int i = 0; i < kWarmUp; ++i) {
        JniBuilder b;
        BuildDocument(b);
    }
    for (auto _ : state) {
        JniBuilder b;
        BuildDocument(b);
        benchmark::DoNotOptimize(b.root->getObject());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DocumentText().size()));
}

void Build_nlohmann(benchmark::State& state) {
    for (int i = 0; i < kWarmUp; ++i) {
        NativeBuilder b;
        BuildDocument(b);
    }
    for (auto _ : state) {
        NativeBuilder b;
        BuildDocument(b);
        benchmark::DoNotOptimize(b.root.size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DocumentText().size()));
}

void Serialise_JNI(benchmark::State& state) {
    JNIJSONObject doc(DocumentText().c_str());
    for (int i = 0; i < kWarmUp; ++i)
        benchmark::DoNotOptimize(doc.serialize());
    for (auto _ : state) {
        std::string text = doc.serialize();
        if (text.size() != DocumentText().size())
            state.SkipWithError("text differs in size");
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DocumentText().size()));
}

void Serialise_nlohmann(benchmark::State& state) {
    const nlohmann::json doc = nlohmann::json::parse(DocumentText());
    for (int i = 0; i < kWarmUp; ++i)
        benchmark::DoNotOptimize(doc.dump());
    for (auto _ : state) {
        std::string text = doc.dump();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DocumentText().size()));
}

void Parse_JNI(benchmark::State& state) {
    for (int i = 0; i < kWarmUp; ++i)
        JNIJSONObject warm(DocumentText().c_str());
    for (auto _ : state) {
        JNIJSONObject doc(DocumentText().c_str());
        if (!doc.isGood())
            state.SkipWithError(doc.getParserError().c_str());
        benchmark::DoNotOptimize(doc.getTop());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DocumentText().size()));
}

void Parse_nlohmann(benchmark::State& state) {
    for (int i = 0; i < kWarmUp; ++i)
        benchmark::DoNotOptimize(nlohmann::json::parse(DocumentText()));
    for (auto _ : state) {
        nlohmann::json doc = nlohmann::json::parse(DocumentText());
        benchmark::DoNotOptimize(doc.size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DocumentText().size()));
}

void Walk_JNI(benchmark::State& state) {
    JNIJSONObject doc(DocumentText().c_str());
    for (int i = 0; i < kWarmUp; ++i)
        JniWalker().visit(doc.getTop());
    size_t nodes = 0;
    for (auto _ : state) {
        JniWalker walker;
        walker.visit(doc.getTop());
        nodes = walker.nodes;
        benchmark::DoNotOptimize(walker.sum);
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
}

void WalkPacked_JNI(benchmark::State& state) {
    JNIJSONObject doc(DocumentText().c_str());
    for (int i = 0; i < kWarmUp; ++i)
        PackedWalker().visit(doc.readTree(doc.getTop()).root());
    size_t nodes = 0;
    for (auto _ : state) {
        const qeinteg::jni::PackedJson tree = doc.readTree(doc.getTop());
        if (!tree.valid())
            state.SkipWithError("the document could not be packed");
        PackedWalker walker;
        walker.visit(tree.root());
        nodes = walker.nodes;
        benchmark::DoNotOptimize(walker.sum);
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
}

void Walk_nlohmann(benchmark::State& state) {
    const nlohmann::json doc = nlohmann::json::parse(DocumentText());
    for (int i = 0; i < kWarmUp; ++i)
        NativeWalker().visit(doc);
    size_t nodes = 0;
    for (auto _ : state) {
        NativeWalker walker;
        walker.visit(doc);
        nodes = walker.nodes;
        benchmark::DoNotOptimize(walker.sum);
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
}

// Where the walk's time goes: the single operations it is made of, each per call.
void Op_ArrayGet(benchmark::State& state) {
    JNIJSONArray array(1000);
    for (int i = 0; i < 1000; ++i)
        array.add(i);
    JNIJSONArray reader;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader.get(array.getObject(), i));
        if (++i == 1000) {
            i = 0;
            reader.releaseNodes();
        }
    }
}

void Op_KindTest(benchmark::State& state) {
    JNIJSONObject object;
    for (auto _ : state)
        benchmark::DoNotOptimize(object.isString(object.getTop()));
}

void Op_DoubleValue(benchmark::State& state) {
    JNIJSONArray array("[2.5]");
    JNIJSONDouble reals;
    jobject node = array.get(array.getObject(), 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(reals.doubleValue(node));
}

void Op_StringRead(benchmark::State& state) {
    JNIJSONArray array("[\"Row label 17\"]");
    jobject node = array.get(array.getObject(), 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(array.getString(static_cast<jstring>(node)));
}

// The Java half of Serialise/JNI alone: the text is made in Java and dropped, not copied out.
void Op_SerialiseJavaOnly(benchmark::State& state) {
    JNIJSONObject doc(DocumentText().c_str());
    qeinteg::jni::RecordingCaller caller(doc.getEnv());
    const qeinteg::jni::Classes* classes = qeinteg::jni::Classes::Resolve(doc.getEnv(), nullptr);
    if (classes == nullptr) {
        state.SkipWithError("the Java classes are not available");
        return;
    }
    const auto& serialize = classes->jsonObject.serialize;
    for (int i = 0; i < kWarmUp; ++i)
        serialize(caller, doc.getTop());
    for (auto _ : state)
        serialize(caller, doc.getTop());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(DocumentText().size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (qeinteg::jni::AttachCurrentThread() == nullptr) {
        std::fprintf(stderr, "could not start the JVM\n");
        return 2;
    }
    std::printf("document: %.1f MB\n", static_cast<double>(DocumentText().size()) / 1e6);

    const char* steps[] = {"Build", "Serialise", "Parse", "Walk", "WalkPacked"};
    const std::map<std::string, void (*)(benchmark::State&)> functions = {
        {"Build/JNI", Build_JNI},
        {"Build/nlohmann", Build_nlohmann},
        {"Serialise/JNI", Serialise_JNI},
        {"Serialise/nlohmann", Serialise_nlohmann},
        {"Parse/JNI", Parse_JNI},
        {"Parse/nlohmann", Parse_nlohmann},
        {"Walk/JNI", Walk_JNI},
        {"Walk/nlohmann", Walk_nlohmann},
        {"WalkPacked/JNI", WalkPacked_JNI},
        {"WalkPacked/nlohmann", Walk_nlohmann},
    };
    for (const char* step : steps) {
        for (const char* side : {"/JNI", "/nlohmann"}) {
            const std::string name = std::string(step) + side;
            benchmark::RegisterBenchmark(name.c_str(), functions.at(name))
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::RegisterBenchmark("Op/SerialiseJavaOnly", Op_SerialiseJavaOnly)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Op/ArrayGet", Op_ArrayGet);
    benchmark::RegisterBenchmark("Op/KindTest", Op_KindTest);
    benchmark::RegisterBenchmark("Op/DoubleValue", Op_DoubleValue);
    benchmark::RegisterBenchmark("Op/StringRead", Op_StringRead);
    benchmark::Initialize(&argc, argv);
    qeinteg::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // CPU time counts the JVM's own threads (GC, compiler) too; on a busy machine it is the
    // steadier of the two.
    std::printf("\nJNI / nlohmann (same run)  real time   CPU time\n");
    for (const char* step : steps) {
        const std::string jni = std::string(step) + "/JNI";
        const std::string native = std::string(step) + "/nlohmann";
        if (reporter.real.count(jni) == 0 || reporter.real.count(native) == 0)
            continue;
        std::printf("  %-24s %8.2fx %9.2fx\n", step, reporter.real[jni] / reporter.real[native],
                    reporter.cpu[jni] / reporter.cpu[native]);
    }
    benchmark::Shutdown();
    return 0;
}
