// QERunner's metadata queries, the parsers of their replies and the recommendation input maker.
#include <set>

#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONInteger.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/runner/QERunImpl.h"
#include "qeinteg/runner/QERunner.h"
#include "qeinteg/runner/StatQEServiceManager.h"

namespace {

// The value under key in node as text: a string as it is, any other value as its JSON text, an
// absent value or JSON null as "".
std::string ChildText(JNIJSONObject& reader, jobject node, const char* key) {
    jobject value = reader.get(node, key);
    if (value == nullptr)
        return {};
    if (reader.isString(value))
        return reader.getChildAsString(node, key);
    return reader.toString(value);
}

}  // namespace

EmbeddedQE::QEMetaDataService* QERunner::metadataService() {
    _impl->cleanExecution();
    return StatQEServiceManager::get(_impl->hasProcedure)->getMetaDataService();
}

bool QERunner::getMetadata(const std::string& jobText, const QEStatContainer& container,
                           std::string& result) {
    result.clear();
    try {
        EmbeddedQE::QEMetaDataService* service = metadataService();
        int64_t reserved = 0;
        // The engine takes containers as mutable handles; it only reads name and path.
        result = service->metadata(QERunImpl::env(), jobText, reserved, 0,
                                   const_cast<QEStatContainer*>(&container));
    } catch (...) {
        result.clear();
    }
    return !result.empty();
}

bool QERunner::getMapServiceLayers(const std::string& url, std::string& result) {
    result.clear();
    try {
        result = metadataService()->mapServiceLayers(QERunImpl::env(), url);
    } catch (...) {
        result.clear();
    }
    return !result.empty();
}

std::string QERunner::getCoordinatesSystemInfo(int wkid) {
    try {
        return metadataService()->coordinatesSystem(QERunImpl::env(), wkid);
    } catch (...) {
        return {};
    }
}

std::string QERunner::getCoordinatesSystemInfo(const std::string& name) {
    if (name.empty())
        return {};
    try {
        return metadataService()->coordinatesSystem(QERunImpl::env(), name);
    } catch (...) {
        return {};
    }
}

void QERunner::getGeographics(std::vector<std::string>& out) {
    out.clear();
    try {
        metadataService()->geographics(QERunImpl::env(), out);
    } catch (...) {
        out.clear();
    }
}

void QERunner::getProjections(std::vector<std::string>& out) {
    out.clear();
    try {
        metadataService()->projections(QERunImpl::env(), out);
    } catch (...) {
        out.clear();
    }
}

void QERunner::getRecommendPCSs(std::vector<std::string>& out, const std::string& input) {
    out.clear();
    try {
        metadataService()->recommendPCS(QERunImpl::env(), input, out);
    } catch (...) {
        out.clear();
    }
}

void QERunner::getRecommendPCSs(std::vector<std::string>& out, const std::string& input,
                                int count) {
    out.clear();
    try {
        metadataService()->recommendPCS(QERunImpl::env(), input, count, out);
    } catch (...) {
        out.clear();
    }
}

bool QERunner::ParseMapServiceLayers(const std::string& json, std::vector<int>& ids,
                                     std::vector<std::string>& names) {
    if (json.empty())
        return false;
    JNIJSONArray array(json.c_str());
    if (!array.isGood())
        return false;
    ids.clear();
    names.clear();
    JNIJSONObject reader;
    const int count = array.size();
    for (int i = 0; i < count; ++i) {
        jobject layer = array.get(array.getObject(), i);
        ids.push_back(String2Integer(ChildText(reader, layer, "value")));
        names.push_back(ChildText(reader, layer, "name"));
    }
    return true;
}

bool QERunner::ParseMapServiceLayers(const std::string& json, std::vector<LayerInfo>& layers) {
    if (json.empty())
        return false;
    JNIJSONArray array(json.c_str());
    if (!array.isGood())
        return false;
    layers.clear();
    JNIJSONObject reader;
    const int count = array.size();
    for (int i = 0; i < count; ++i) {
        jobject node = array.get(array.getObject(), i);
        LayerInfo layer;
        layer.id = String2Integer(ChildText(reader, node, "value"));
        layer.name = reader.getChildAsString(node, "name");
        layer.keys = reader.getChildAsString(node, "keys");
        layer.description = reader.getChildAsString(node, "description");
        layer.features = reader.getChildAsString(node, "features");
        jobject subLayers = reader.get(node, "subLayers");
        if (subLayers != nullptr) {
            const int members = array.size(subLayers);
            for (int k = 0; k < members; ++k)
                layer.subLayers.push_back(String2Integer(reader.toString(array.get(subLayers, k))));
        }
        layers.push_back(std::move(layer));
    }
    return true;
}

bool QERunner::ParseCoordinatesSystemInfo(const std::string& json, int& wkid, std::string& name,
                                          std::string& wkt, CSTYPE& type) {
    type = CSUnknown;
    if (json.empty())
        return false;
    JNIJSONObject doc(json.c_str());
    if (!doc.isGood())
        return false;
    jobject top = doc.getTop();
    wkid = JNIJSONInteger().intValue(doc.get(top, "wkid"));
    name = doc.getChildAsString(top, "name");
    wkt = doc.getChildAsString(top, "wkt");
    // A reply that does not say which kind it is stays unknown rather than passing as geographic.
    const std::string projection = doc.toString(doc.get(top, "isProjection"));
    if (projection == "true")
        type = CSProjected;
    else if (projection == "false")
        type = CSGeographic;
    return true;
}

bool QERunner::ParseRecommendPCS(const std::string& json, int& key,
                                 std::vector<RecommendPCS>& out) {
    if (json.empty())
        return false;
    JNIJSONObject doc(json.c_str());
    if (!doc.isGood())
        return false;
    jobject top = doc.getTop();
    const std::set<std::string> keys = doc.keySet(top);
    if (keys.size() != 1)
        return false;
    key = String2Integer(*keys.begin());
    JNIJSONArray arrays;
    jobject list = doc.get(top, keys.begin()->c_str());
    const int count = arrays.size(list);
    // Cleared first: a reused list must not carry transformation methods of an earlier reply.
    out.assign(static_cast<size_t>(count > 0 ? count : 0), RecommendPCS());
    JNIJSONInteger integer;
    for (int i = 0; i < count; ++i) {
        jobject item = arrays.get(list, i);
        RecommendPCS& pcs = out[static_cast<size_t>(i)];
        pcs.wkid = integer.intValue(doc.get(item, "wkid"));
        pcs.name = doc.getChildAsString(item, "name");
        pcs.wkt = doc.getChildAsString(item, "wkt");
        jobject methods = doc.get(item, "trans_methods");
        const int methodCount = arrays.size(methods);
        for (int m = 0; m < methodCount; ++m) {
            jobject method = arrays.get(methods, m);
            for (const std::string& name : doc.keySet(method)) {
                pcs.transMethods.push_back(name);
                pcs.transForward.push_back(doc.getChildAsString(method, name.c_str()) == "forward");
            }
        }
    }
    return true;
}

QERunner::RecommendPCSInputMaker::RecommendPCSInputMaker() : _input(new JNIJSONObject()) {}

QERunner::RecommendPCSInputMaker::~RecommendPCSInputMaker() {
    delete _input;
}

QERunner::RecommendPCSInputMaker::RecommendPCSInputMaker(const RecommendPCSInputMaker& other)
    : _input(new JNIJSONObject(other._input->toString(other._input->getTop()).c_str())) {}

QERunner::RecommendPCSInputMaker& QERunner::RecommendPCSInputMaker::operator=(
    const RecommendPCSInputMaker& other) {
    if (this != &other) {
        auto* copy = new JNIJSONObject(other._input->toString(other._input->getTop()).c_str());
        delete _input;
        _input = copy;
    }
    return *this;
}

void QERunner::RecommendPCSInputMaker::addInput(int key, double leftUpperX, double leftUpperY,
                                                double rightLowerX, double rightLowerY) {
    JNIJSONObject extent;
    extent.put("leftUpperX", leftUpperX);
    extent.put("leftUpperY", leftUpperY);
    extent.put("rightLowerX", rightLowerX);
    extent.put("rightLowerY", rightLowerY);
    _input->put(Integer2String(key), &extent);
}

std::string QERunner::RecommendPCSInputMaker::toString() {
    return _input->toString(_input->getTop());
}
