#include "qeinteg/platform/engine/service/LocalMetaDataService.h"

#include <exception>
#include <thread>

#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/geo/GeoMetadata.h"

namespace qelocal {

namespace {

void Record(JNIEnv* env, const std::string& operation, std::vector<std::string> args) {
    LocalEngine::instance().record(
        CallRecord{0, operation, std::move(args), env, std::this_thread::get_id()});
}

// The scripted reply of `operation`, if any; throws a scripted failure.
std::optional<MetadataReply> Scripted(const std::string& operation) {
    auto reply = LocalEngine::instance().metadataScript(operation);
    if (reply && reply->failure) {
        if (reply->failure->javaException)
            throw EmbeddedQE::JavaException(reply->failure->message, reply->failure->trace);
        throw EmbeddedQE::Exception(reply->failure->message);
    }
    return reply;
}

void NoteEmpty(JNIEnv* env, const std::string& operation, bool empty, const std::string& reason) {
    if (empty && !reason.empty())
        Record(env, "metadataMessage", {operation, reason});
}

}  // namespace

std::string LocalMetaDataService::metadata(JNIEnv* env, const std::string& jobText, int64_t&,
                                           int flags, EmbeddedQE::Container* container) {
    Record(env, "metadata",
           {jobText, std::to_string(flags), container ? container->getName() : std::string()});
    if (auto reply = Scripted("metadata"))
        return reply->text;
    return {};
}

std::string LocalMetaDataService::dataSourceInfo(JNIEnv* env, const std::string& jobText) {
    Record(env, "dataSourceInfo", {jobText});
    if (auto reply = Scripted("dataSourceInfo"))
        return reply->text;
    return {};
}

std::string LocalMetaDataService::mapServiceLayers(JNIEnv* env, const std::string& url) {
    Record(env, "mapServiceLayers", {url});
    if (auto reply = Scripted("mapServiceLayers"))
        return reply->text;
    geo::MapServiceOptions options;
    options.timeout = LocalEngine::instance().mapServiceTimeout();
    std::string reason;
    std::string reply;
    try {
        reply = geo::GeoMetadata::mapServiceLayers(url, options, reason);
    } catch (const std::exception& e) {  // an engine query answers empty, it never fails
        reason = e.what();
    }
    NoteEmpty(env, "mapServiceLayers", reply.empty(), reason);
    return reply;
}

void LocalMetaDataService::geographics(JNIEnv* env, std::vector<std::string>& out) {
    Record(env, "geographics", {});
    if (auto reply = Scripted("geographics")) {
        out = reply->list;
        return;
    }
    out = geo::GeoMetadata::geographics();
    NoteEmpty(env, "geographics", out.empty(), "the coordinate system database is not available");
}

void LocalMetaDataService::projections(JNIEnv* env, std::vector<std::string>& out) {
    Record(env, "projections", {});
    if (auto reply = Scripted("projections")) {
        out = reply->list;
        return;
    }
    out = geo::GeoMetadata::projections();
    NoteEmpty(env, "projections", out.empty(), "the coordinate system database is not available");
}

void LocalMetaDataService::recommendPCS(JNIEnv* env, const std::string& input, int count,
                                        std::vector<std::string>& out) {
    Record(env, "recommendPCS", {input, std::to_string(count)});
    if (auto reply = Scripted("recommendPCS")) {
        out = reply->list;
        return;
    }
    std::string reason;
    try {
        out = geo::GeoMetadata::recommendPCS(input, count, reason);
    } catch (const std::exception& e) {
        out.clear();
        reason = e.what();
    }
    NoteEmpty(env, "recommendPCS", !reason.empty(), reason);
}

void LocalMetaDataService::recommendPCS(JNIEnv* env, const std::string& input,
                                        std::vector<std::string>& out) {
    Record(env, "recommendPCS", {input});
    if (auto reply = Scripted("recommendPCS")) {
        out = reply->list;
        return;
    }
    std::string reason;
    try {
        out = geo::GeoMetadata::recommendPCS(input, 0, reason);
    } catch (const std::exception& e) {
        out.clear();
        reason = e.what();
    }
    NoteEmpty(env, "recommendPCS", !reason.empty(), reason);
}

std::string LocalMetaDataService::coordinatesSystem(JNIEnv* env, const std::string& name) {
    Record(env, "coordinatesSystem", {name});
    if (auto reply = Scripted("coordinatesSystem"))
        return reply->text;
    std::string reason;
    std::string reply = geo::GeoMetadata::coordinatesSystem(name, reason);
    NoteEmpty(env, "coordinatesSystem", reply.empty(), reason);
    return reply;
}

std::string LocalMetaDataService::coordinatesSystem(JNIEnv* env, int wkid) {
    Record(env, "coordinatesSystem", {std::to_string(wkid)});
    if (auto reply = Scripted("coordinatesSystem"))
        return reply->text;
    std::string reason;
    std::string reply = geo::GeoMetadata::coordinatesSystem(wkid, reason);
    NoteEmpty(env, "coordinatesSystem", reply.empty(), reason);
    return reply;
}

}  // namespace qelocal
