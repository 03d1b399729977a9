#include "qeinteg/procedures/QEScorExecXML.h"

#include <map>
#include <memory>
#include <sstream>

#include <pugixml.hpp>

#include "qeinteg/platform/host/process/AppSettings.h"

const std::string QEScorExecXML::ScoringFolderName = "tavo.scoring.9";
const std::string QEScorExecXML::InputPMMLContainerID = "InputPMMLContainer";
const std::string QEScorExecXML::InputPMMLName = "InputPMML";

class QEScorExecXML::Impl {
  public:
    explicit Impl(bool missing) : missingAsPredictor(missing) {
        parameters["isOutputInputData"] = "false";
        parameters["isOutputAll"] = "true";
        parameters["assocCheckBasket"] = "notCheckBasket";
        parameters["assocIsOutputOrigInterval"] = "true";
        parameters["assocIsOnlyOutputValue"] = "false";
    }

    Impl(const Impl& other)
        : missingAsPredictor(other.missingAsPredictor),
          maxPredictions(other.maxPredictions),
          assocOutputValueOnly(other.assocOutputValueOnly),
          assocNameTable(other.assocNameTable),
          parameters(other.parameters) {
        if (other.document) {
            document = std::make_unique<pugi::xml_document>();
            document->reset(*other.document);
        }
    }

    void Build();

    std::unique_ptr<pugi::xml_document> document;
    bool missingAsPredictor;
    int32_t maxPredictions = 3;
    bool assocOutputValueOnly = false;
    std::vector<AssocNameElem> assocNameTable;
    std::map<std::string, std::string> parameters;
};

void QEScorExecXML::Impl::Build() {
    document = std::make_unique<pugi::xml_document>();
    try {
        std::string cfPath = ExtensionFinder::GetCFPath();
        if (!cfPath.empty() && cfPath.back() != '/')
            cfPath += '/';
        const std::string path = cfPath + "lib" + "/" + ScoringFolderName + "/" + "module.xml";
        pugi::xml_document descriptor;
        const bool loaded = static_cast<bool>(descriptor.load_file(path.c_str()));

        pugi::xml_node details, propertyTypes, properties;
        if (loaded) {
            const pugi::xml_node root = descriptor.document_element();
            details = root.child("ModuleDetails");
            propertyTypes = root.child("CommonObjects").child("PropertyTypes");
            properties = root.child("Component").child("Properties");
        }
        std::map<std::string, pugi::xml_node> structures;
        for (pugi::xml_node s : propertyTypes.children("Structure"))
            structures.emplace(s.attribute("id").value(), s);

        pugi::xml_node execution = document->append_child("Execution");
        execution.append_child("ContainerInputs")
            .append_child("ContainerInput")
            .append_attribute("id")
            .set_value(InputPMMLContainerID.c_str());
        pugi::xml_node operation = execution.append_child("Operation");
        const std::string id = details.attribute("id").value();
        operation.append_attribute("componentId").set_value(id.c_str());
        operation.append_attribute("dependencyIds").set_value("");
        operation.append_attribute("id").set_value("1");
        operation.append_attribute("inputIds").set_value("");
        const std::string moduleId =
            std::string(details.attribute("providerTag").value()) + "." + id;
        operation.append_attribute("moduleId").set_value(moduleId.c_str());
        operation.append_attribute("version").set_value(details.attribute("version").value());

        pugi::xml_node params = operation.append_child("Parameters");
        for (pugi::xml_node property : properties.children("Property")) {
            const std::string name = property.attribute("name").value();
            pugi::xml_node parameter = params.append_child("Parameter");
            parameter.append_attribute("name").set_value(name.c_str());
            if (auto value = parameters.find(name); value != parameters.end()) {
                parameter.append_attribute("value").set_value(value->second.c_str());
            } else if (name == "assocNameTable") {
                pugi::xml_node list = parameter.append_child("ListValue");
                for (const AssocNameElem& e : assocNameTable) {
                    if (e.name == e.originalName)
                        continue;
                    pugi::xml_node structured = list.append_child("StructuredValue");
                    const std::pair<const char*, const std::string*> attributes[] = {
                        {"name", &e.name},
                        {"originalName", &e.originalName},
                        {"predicate", &e.predicate}};
                    for (const auto& [attrName, attrValue] : attributes) {
                        pugi::xml_node a = structured.append_child("Attribute");
                        a.append_attribute("name").set_value(attrName);
                        a.append_attribute("value").set_value(attrValue->c_str());
                    }
                }
            } else if (auto structure = structures.find(property.attribute("type").value());
                       structure == structures.end()) {
                if (std::string(property.attribute("isList").value()) == "true")
                    parameter.append_child("ListValue");
                else if (property.attribute("defaultValue"))
                    parameter.append_attribute("value").set_value(
                        property.attribute("defaultValue").value());
            } else {
                pugi::xml_node structured = parameter.append_child("StructuredValue");
                for (pugi::xml_node attr : structure->second.children("Attribute")) {
                    pugi::xml_node a = structured.append_child("Attribute");
                    a.append_attribute("name").set_value(attr.attribute("name").value());
                    if (std::string(attr.attribute("isList").value()) == "true")
                        a.append_child("ListValue");
                    else if (attr.attribute("defaultValue"))
                        a.append_attribute("value").set_value(
                            attr.attribute("defaultValue").value());
                }
            }
        }
        pugi::xml_node container =
            operation.append_child("InputContainers").append_child("Container");
        container.append_attribute("id").set_value(InputPMMLContainerID.c_str());
        container.append_attribute("name").set_value(InputPMMLName.c_str());
    } catch (...) {
        // Whatever was built stands; getXML serialises it.
    }
}

QEScorExecXML::QEScorExecXML(bool missingAsPredictor) : impl_(new Impl(missingAsPredictor)) {}

QEScorExecXML::QEScorExecXML(const QEScorExecXML& other) : impl_(new Impl(*other.impl_)) {}

QEScorExecXML& QEScorExecXML::operator=(const QEScorExecXML& other) {
    if (this != &other) {
        Impl* copy = new Impl(*other.impl_);
        delete impl_;
        impl_ = copy;
    }
    return *this;
}

QEScorExecXML::~QEScorExecXML() {
    delete impl_;
}

void QEScorExecXML::setMaxPredictions(int maxPredictions) {
    impl_->maxPredictions = maxPredictions;
}

int QEScorExecXML::getMaxPredictions() const {
    return impl_->maxPredictions;
}

void QEScorExecXML::setAssocOutputValueOnly(bool onlyValue) {
    impl_->assocOutputValueOnly = onlyValue;
}

bool QEScorExecXML::getAssocOutputValueOnly() const {
    return impl_->assocOutputValueOnly;
}

void QEScorExecXML::setAssocNameTable(const std::vector<AssocNameElem>& table) {
    impl_->assocNameTable = table;
}

const std::vector<QEScorExecXML::AssocNameElem>& QEScorExecXML::getAssocNameTable() const {
    return impl_->assocNameTable;
}

void QEScorExecXML::getXML(std::string& xml) {
    impl_->parameters["maxPredictions"] = std::to_string(impl_->maxPredictions);
    impl_->parameters["missingValuePolicy"] =
        impl_->missingAsPredictor ? "asMissingPredictor" : "scoreAsMissing";
    impl_->parameters["assocIsOnlyOutputValue"] = impl_->assocOutputValueOnly ? "true" : "false";
    if (!impl_->document)
        impl_->Build();
    xml.clear();
    if (!impl_->document)
        return;
    std::ostringstream out;
    impl_->document->save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    xml = out.str();
}
