#include "qeinteg/output/QEStatDisplay.h"

#include <cstdio>
#include <iostream>
#include <mutex>

namespace QEStatDisplay {

namespace {

std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}
TextSink& Sink() {
    static TextSink sink;
    return sink;
}

void Line(const std::string& text) {
    DisplayText(1, text);
}

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}
std::string Format(const char* format, int value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}
std::string Number(double v) {
    return v == -DBL_MAX ? "miss" : Format("%g", v);
}

template <typename T, typename F>
void OneLine(const std::string& label, const T& values, F item) {
    if (values.empty()) {
        Line(label + " <none>");
        return;
    }
    std::string line = label;
    for (const auto& v : values)
        line += item(v);
    Line(line);
}

}  // namespace

TextSink SetTextSink(TextSink sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    TextSink old = std::move(Sink());
    Sink() = std::move(sink);
    return old;
}

void DisplayText(long const& channel, std::string const& text) {
    TextSink sink;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        sink = Sink();
    }
    if (sink)
        sink(channel, text);
    else
        std::cerr << text << '\n';
}

void DisplayB(std::string label, bool value) {
    Line(label + " = " + (value ? "true" : "false"));
}
void DisplayD(std::string label, double value) {
    Line(label + " = " + Number(value));
}
void DisplayI(std::string label, int value) {
    Line(label + " = " + Format("%d", value));
}
void DisplayT(std::string label, size_t value) {
    Line(label + " = " + std::to_string(value));
}
void DisplayS(std::string label, std::string const& value) {
    Line(label + " = " + value);
}
void DisplayC(std::string label, int value) {
    Line(label + (value == -1  ? " = missing value for a categorical variable"
                  : value == 0 ? " = minimum categorical variable value"
                               : " = unrecognized"));
}
void DisplayDV(std::string label, std::vector<double> const& values) {
    OneLine(label, values, [](double v) { return " " + Number(v); });
}
void DisplayNL(std::string label, std::vector<double> const& values) {
    DisplayDV(std::move(label), values);
}
void DisplayIV(std::string label, std::vector<int> const& values) {
    OneLine(label, values, [](int v) { return Format(" %d", v); });
}
void DisplayVL(std::string label, std::vector<int> const& values) {
    DisplayIV(std::move(label), values);
}
void DisplaySV(std::string label, std::vector<std::string> const& values) {
    OneLine(label, values, [](const std::string& v) { return " \"" + v + "\""; });
}
void DisplaySL(std::string label, std::vector<std::string> const& values) {
    DisplaySV(std::move(label), values);
}
void DisplayVNL(std::string label, std::vector<std::string> const& values) {
    DisplaySV(std::move(label), values);
}
void DisplayBV(std::string label, std::vector<bool> const& values) {
    OneLine(label, values, [](bool v) { return std::string(v ? " true" : " false"); });
}
void DisplayVCL(std::string label, std::vector<int> const& values,
                std::vector<bool> const& categorical) {
    if (values.empty()) {
        Line(label + " <none>");
        return;
    }
    std::string line = label;
    for (size_t i = 0; i < values.size(); ++i) {
        const bool cat = i < categorical.size() && categorical[i];
        line += Format(cat ? " %d(cat)" : " %d(cont)", values[i]);
    }
    Line(line);
}
void DisplayIIM(std::string label, std::map<int, int> const& values) {
    OneLine(label, values, [](const std::pair<const int, int>& e) {
        return " (" + Format("%d", e.first) + "," + Format("%d", e.second) + ")";
    });
}
void DisplayVIM(std::string label, std::map<int, int> const& values) {
    DisplayIIM(std::move(label), values);
}
void DisplaySVV(std::string label, std::vector<std::vector<std::string>> const& values) {
    if (values.empty()) {
        Line(label + " <none>");
        return;
    }
    Line(label);
    for (size_t i = 0; i < values.size(); ++i)
        DisplaySV(Format("vec[%d]", static_cast<int>(i)), values[i]);
}
void DisplayIntVecIntMap(std::string label, std::map<std::vector<int>, int> const& values) {
    Line(label);
    for (const auto& [key, value] : values) {
        DisplayIV("Map key", key);
        DisplayI("Map value", value);
    }
}
void DisplayIntVecDVecMap(std::string label,
                          std::map<std::vector<int>, std::vector<double>> const& values) {
    Line(label);
    for (const auto& [key, value] : values) {
        DisplayIV("Map key", key);
        DisplayDV("Map value", value);
    }
}
void DisplaySLDM(std::string label, std::map<std::vector<std::string>, double> const& values) {
    if (values.empty()) {
        Line(label + " <none>");
        return;
    }
    Line(label);
    for (const auto& [key, value] : values) {
        DisplaySL("Map's String List:", key);
        DisplayD("Map's double", value);
    }
}

}  // namespace QEStatDisplay
