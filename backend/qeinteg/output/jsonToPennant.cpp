#include "qeinteg/output/jsonToPennant.h"

#include <cstdlib>
#include <exception>
#include <vector>

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/output/OutputJson.h"
#include "qeinteg/output/dataDictionary.h"
#include "qeinteg/output/jsonPivot.h"
#include "qeinteg/platform/host/output/PnCellText.h"
#include "qeinteg/platform/host/output/PnComposite.h"
#include "qeinteg/platform/host/output/PnDataValue.h"
#include "qeinteg/platform/host/output/PnError.h"
#include "qeinteg/platform/host/output/PnHeading.h"
#include "qeinteg/platform/host/output/PnNumber.h"
#include "qeinteg/platform/host/output/PnProcedure.h"
#include "qeinteg/platform/host/output/PnString.h"
#include "qeinteg/platform/host/output/PnUTF8String.h"
#include "qeinteg/platform/host/output/PnVariable.h"
#include "qeinteg/platform/host/output/xPlume.h"
#include "qeinteg/platform/host/process/FacSTDictionary.h"

using qeinteg::output::OutputJson;

namespace {

int SeverityLevel(const std::string& severity) {
    if (severity == "NoScreen")
        return 0;
    if (severity == "Comment")
        return 1;
    if (severity == "Error")
        return 3;
    if (severity == "Fatal")
        return 4;
    if (severity == "Catastrophic")
        return 5;
    return 2;
}

std::string Join(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += separator;
        out += parts[i];
    }
    return out;
}

}  // namespace

class jsonToPennant::Impl {
  public:
    Impl(PnProcedure* procedure, const ProcedureDataSource* dataSource, FacSTDictionary& dictionary,
         const std::string* text)
        : procedure(procedure),
          dataSource(dataSource),
          dictionary(&dictionary),
          hasDocument(text != nullptr),
          document(text != nullptr ? text->c_str() : nullptr),
          json(document) {
        if (hasDocument && document.isGood())
            ReadDataModel();
    }

    PnProcedure* procedure;
    const ProcedureDataSource* dataSource;
    FacSTDictionary* dictionary;
    std::string sectionName;
    bool showNotifications = true;
    bool hasDocument;
    jobject section = nullptr;
    JNIJSONObject document;
    OutputJson json;
    std::vector<OutputOrder> orders;
    std::map<std::string, std::string> geoJSONMap;
    dataDictionary fields;

    bool Parsed() { return hasDocument && document.isGood(); }

    jobject Top() { return Parsed() ? document.getTop() : nullptr; }

    // The decimal places of a format object: number, then decorated, then date format, the last
    // present winning; -1 when none is there.
    int Decimals(jobject format) {
        int decimals = -1;
        for (const char* kind : {"numberFormat", "decoratedFormat", "dateFormat"}) {
            jobject f = json.Get(format, kind);
            if (json.IsObject(f) && json.Get(f, "decimalPlaces") != nullptr) {
                decimals = json.Int(f, "decimalPlaces", -1);
            }
        }
        return decimals;
    }

    void ReadDataModel() {
        jobject model = json.Get(Top(), "dataModel");
        if (!json.IsObject(model))
            return;
        std::string name = json.String(model, "name");
        fields.setName(name);
        jobject list = json.Get(model, "fields");
        for (int i = 0, n = json.Size(list); i < n; ++i) {
            jobject f = json.At(list, i);
            if (!json.IsObject(f))
                continue;
            dataField field;
            field.setName(json.String(f, "id"));
            field.setMeasurementLevel(json.String(f, "measurementLevel"));
            field.setStorage(json.String(f, "storage"));
            field.setRole(json.String(f, "role"));
            const std::string label = json.String(f, "label");
            field.setLabel(label.empty() ? field.getName() : label);
            if (const int decimals = Decimals(json.Get(f, "format")); decimals >= 0) {
                field.setDecimalPlaces(decimals);
            }
            const bool isString = field.getStorage() == "string";
            jobject labels = json.Get(f, "valueLabels");
            jobject values = json.Get(labels, "values");
            jobject texts = json.Get(labels, "labels");
            const int pairs = std::min(json.Size(values), json.Size(texts));
            for (int k = 0; k < pairs; ++k) {
                jobject value = json.At(values, k);
                jobject text = json.At(texts, k);
                if (value == nullptr || text == nullptr)
                    continue;
                const std::string labelText = json.Text(text);
                if (labelText.empty())
                    continue;
                if (json.IsString(value)) {
                    const std::string v = json.Text(value);
                    if (isString) {
                        if (!v.empty())
                            field.addValueLabel(v, labelText);
                    } else {
                        field.addValueLabel(std::strtod(v.c_str(), nullptr), labelText);
                    }
                } else {
                    // Numbers keep their fraction: a label of 2.5 must not land on 2.
                    field.addValueLabel(json.Double(value), labelText);
                }
            }
            fields.addField(field);
        }
    }

    void Notifications() {
        jobject list = json.Get(section, "notifications");
        for (int i = 0, n = json.Size(list); i < n; ++i) {
            jobject note = json.At(list, i);
            if (!json.IsObject(note))
                continue;
            jsonPivot builder(document, note, dataSource, fields);
            std::unique_ptr<PnCellText> text = builder.getCellText(note);
            if (!text)
                continue;
            PnError(*text, 2, SeverityLevel(json.String(note, "severity")));
        }
    }

    // The value at `names` below `from`, walking through objects only; a string met before the
    // last name ends the walk with nothing.
    jobject Follow(jobject from, const std::vector<std::string>& names, bool stopAtString) {
        jobject value = from;
        for (const std::string& name : names) {
            if (json.IsString(value))
                return stopAtString ? value : nullptr;
            value = json.Get(value, name.c_str());
            if (value == nullptr)
                return nullptr;
        }
        return value;
    }

    ChartString Description(const OutputOrder& order) {
        if (order.translateTitle()) {
            return ChartString::Native(dictionary->LookUp(order.getOutlineTitle()));
        }
        return ChartString::UTF8(order.getOutlineTitle());
    }

    bool Interactive(const OutputOrder& order, PnHeading* heading) {
        xInteractive chart(heading);
        chart.SetDescription(Description(order));
        chart.setProcedureName(sectionName);
        chart.setJSONPath(!order.getPathId().empty() ? order.getPathId()
                                                     : Join(order.getLocations().front(), '.'));
        chart.setOptions(order.getOptions());
        if (order.needsGEO()) {
            for (const auto& [key, text] : geoJSONMap)
                chart.addGeoJSON(key, text);
        }
        std::string doc = "{";
        if (Parsed()) {
            bool first = true;
            if (jobject model = json.Get(Top(), "dataModel"); model != nullptr) {
                doc += "\"0\":" + json.Serialize(model);
                first = false;
            }
            const auto& locations = order.getLocations();
            for (std::size_t i = 0; i < locations.size(); ++i) {
                jobject value = Follow(section, locations[i], false);
                if (value == nullptr)
                    continue;
                const std::string text = json.Serialize(value);
                if (text.empty() || text.find('}') == std::string::npos || text == "null")
                    continue;
                if (!first)
                    doc += ",";
                doc += "\"" + std::to_string(i + 1) + "\":" + text;
                first = false;
            }
        }
        doc += "}";
        chart.setInteractiveJSON(doc);
        chart.sendInteractive();
        return false;
    }

    bool Chart(const OutputOrder& order, PnHeading* heading, jobject item) {
        const std::string text = json.Serialize(item);
        if (text.empty() || text.find('}') == std::string::npos)
            return true;
        xPlume chart(heading);
        chart.SetDescription(Description(order));
        std::string tmpl = "{";
        if (jobject model = json.Get(Top(), "dataModel"); model != nullptr) {
            tmpl += "\"0\":" + json.Serialize(model) + ",";
        }
        tmpl += "\"1\":" + text + "}";
        chart.setViZJSONTemplate(tmpl);
        chart.setOptions(order.getOptions());
        if (order.getType() == OutputOrder::MapChart) {
            jobject parameters = json.Get(item, "parameters");
            for (int i = 0, n = json.Size(parameters); i < n; ++i) {
                const std::string key = json.String(json.At(parameters, i), "externalSource");
                if (key.empty())
                    continue;
                auto layer = geoJSONMap.find(key);
                if (layer != geoJSONMap.end())
                    chart.addGeoJSON(key, layer->second);
            }
        }
        chart.sendChart();
        return true;
    }

    bool Render(const OutputOrder& order) {
        // Headings live only while the item is rendered; what they recorded stays in the output.
        std::vector<std::unique_ptr<PnHeading>> headings;
        PnHeading* heading = procedure != nullptr ? procedure->Heading() : nullptr;
        for (const std::string& part : OutputOrder::SplitPath(order.getTitle())) {
            if (heading == nullptr)
                break;
            headings.push_back(heading->Heading(PnString(part.c_str(), true)));
            heading = headings.back().get();
        }
        if (order.getLocations().empty())
            return false;
        if (order.getType() == OutputOrder::Interactive)
            return Interactive(order, heading);
        if (!Parsed())
            return false;
        jobject item = Follow(section, order.getLocations().front(), true);
        if (item == nullptr || json.IsString(item))
            return false;
        switch (order.getType()) {
            case OutputOrder::PivotTable: {
                jsonPivot builder(document, item, dataSource, fields);
                builder.setCaption(order.getCaption());
                builder.hideCategories(order.getHiddenRows(), true);
                builder.hideAllCategoriesExcept(order.getShownRows(), true);
                builder.hideCategories(order.getHiddenCols(), false);
                builder.hideAllCategoriesExcept(order.getShownCols(), false);
                builder.createPivotTable(heading, order.getOutlineTitle(), order.translateTitle(),
                                         order.getOMSSubType());
                return true;
            }
            case OutputOrder::Chart:
            case OutputOrder::MapChart:
                return Chart(order, heading, item);
            default:
                return false;
        }
    }

    bool RenderGuarded(const OutputOrder& order) {
        try {
            return Render(order);
        } catch (const std::exception&) {
            return false;  // this item is abandoned; the others still render
        }
    }

    bool Generate(const std::string& name) {
        sectionName = name;
        if (hasDocument && !document.isGood()) {
            PnComposite message(PnString("Unknown error. ^1", true));
            message.Add(PnString(document.getParserError().c_str(), false));
            message.Finish();
            PnError(message, 2, 2);
            return false;
        }
        if (hasDocument) {
            section = json.Get(Top(), name.c_str());
            if (section == nullptr)
                return false;
            if (showNotifications)
                Notifications();
            for (const OutputOrder& order : orders)
                RenderGuarded(order);
            return true;
        }
        bool any = false;
        for (const OutputOrder& order : orders)
            any = RenderGuarded(order) || any;
        return any;
    }

    bool HasFeatures(const std::string& geojson) {
        JNIJSONObject parsed(geojson.c_str());
        if (!parsed.isGood())
            return false;
        OutputJson reader(parsed);
        jobject features = reader.ByPath(parsed.getTop(), "source.value.features");
        return reader.Size(features) > 0;
    }
};

jsonToPennant::jsonToPennant(PnProcedure* procedure, const ProcedureDataSource* dataSource,
                             FacSTDictionary& dictionary, const std::string& json)
    : impl_(std::make_unique<Impl>(procedure, dataSource, dictionary, &json)) {}

jsonToPennant::jsonToPennant(PnProcedure* procedure, const ProcedureDataSource* dataSource,
                             FacSTDictionary& dictionary)
    : impl_(std::make_unique<Impl>(procedure, dataSource, dictionary, nullptr)) {}

jsonToPennant::~jsonToPennant() = default;

void jsonToPennant::addObjectToOutput(std::string heading, std::string location,
                                      std::string outlineTitle, std::string omsSubType,
                                      OutputOrder::Type type) {
    impl_->orders.emplace_back(std::move(heading), OutputOrder::SplitPath(location), type,
                               outlineTitle, omsSubType);
}

void jsonToPennant::addObjectToOutput(OutputOrder& order) {
    impl_->orders.push_back(order);
}

bool jsonToPennant::generateOutput(std::string name) {
    return impl_->Generate(name);
}

void jsonToPennant::showNotifications(bool show) {
    impl_->showNotifications = show;
}

jobject jsonToPennant::getTop() {
    return impl_->Top();
}

bool jsonToPennant::hasItem(const std::string& path) {
    if (!impl_->Parsed())
        return false;
    jobject node = impl_->json.ByPath(impl_->Top(), path);
    return node != nullptr && !impl_->json.IsString(node);
}

bool jsonToPennant::hasItemContent(const std::string& path) {
    if (!impl_->Parsed())
        return false;
    jobject node = impl_->json.ByPath(impl_->Top(), path);
    if (impl_->json.IsArray(node))
        return impl_->json.Size(node) > 0;
    if (impl_->json.IsObject(node))
        return !impl_->document.keySet(node).empty();
    return false;
}

const dataDictionary& jsonToPennant::getDataDictionary() const {
    return impl_->fields;
}
FacSTDictionary& jsonToPennant::getDictionary() {
    return *impl_->dictionary;
}

void jsonToPennant::setGeoJSONMap(const std::map<std::string, std::string>& layers) {
    impl_->geoJSONMap = layers;
}

const std::map<std::string, std::string>& jsonToPennant::getGeoJSONMap() const {
    return impl_->geoJSONMap;
}

bool jsonToPennant::hasGeoJSONFeatures(const std::string& geojson) {
    return impl_->HasFeatures(geojson);
}

bool jsonToPennant::hasGeoJSONMapFeatures(const std::string& key) {
    const auto& layers = impl_->geoJSONMap;
    if (!key.empty()) {
        auto it = layers.find(key);
        return it != layers.end() && impl_->HasFeatures(it->second);
    }
    if (layers.empty())
        return false;
    for (const auto& [name, text] : layers) {
        if (!impl_->HasFeatures(text))
            return false;
    }
    return true;
}
