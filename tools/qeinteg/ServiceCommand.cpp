#include "ServiceCommand.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/runner/StatQEServiceManager.h"

int RunServiceCommand(int argc, char** argv) {
    qecli::CommandLine cli("service", "[--json]",
                           "start the engine service and print the settings handed to it");
    bool json = false;
    cli.Flag("--json", json, "print the settings as one JSON document");
    std::vector<std::string> none;
    cli.Positionals(none, 0, 0);
    if (auto exit = cli.Parse(argc, argv))
        return *exit;
    if (JNIObjectManager::getManager()->getEnv() == nullptr)
        return cli.Failure("", "could not start the Java VM");
    try {
        StatQEServiceManager::get(true);
    } catch (const EmbeddedQE::Exception& e) {
        return cli.Failure("", "the engine did not start: " + e.getMessage());
    }
    const auto records = qelocal::LocalEngine::instance().serviceRecords();
    if (records.empty())
        return cli.Failure("", "the engine recorded no service start");
    const qelocal::ServiceRecord& settings = records.back();
    if (json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::object();
        out["analyticRoot"] = settings.analyticRoot;
        out["components"] = settings.componentsPath;
        out["locale"] = settings.locale;
        nlohmann::ordered_json properties = nlohmann::ordered_json::object();
        for (const auto& [key, value] : settings.properties)
            properties[key] = value;
        out["properties"] = properties;
        std::printf("%s\n", out.dump(2).c_str());
    } else {
        std::printf("Engine service started with:\n");
        std::printf("  %-18s %s\n", "analytic root", settings.analyticRoot.c_str());
        std::printf("  %-18s %s\n", "components", settings.componentsPath.c_str());
        std::printf("  %-18s %s\n", "locale", settings.locale.c_str());
        for (const auto& [key, value] : settings.properties) {
            std::printf("  %-18s %s\n", key.c_str(), value.c_str());
        }
    }
    StatQEServiceManager::shutdown();
    JNIObjectManager::releaseManager();
    return qecli::kExitOk;
}
