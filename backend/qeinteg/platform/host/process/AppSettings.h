// The host's application settings and the paths of its installation, as the library reads them
// when it starts the engine. Texts are in the host code page.
#pragma once

#include <string>

class CFAppHost {
  public:
    // Refreshes the settings instance from the host's preferences.
    static void update();
    // The settings instance; null when the host has none.
    static CFAppHost* getInstance();

    // The user interface locale, such as "en_US".
    std::string getLocale() const;
    // The host's temporary-folder setting.
    std::string getTempFolder() const;
    // How many threads the host allows a computation.
    int getMaxCompThreads() const;
    // The callback through which the metadata layer reaches the host; opaque, owned by the host.
    void* createCFHostingCalbck();

  private:
    CFAppHost() = default;
    friend struct CFAppHostAccess;
};

class CFEntry {
  public:
    // Initialises the host metadata layer with the hosting callback.
    static void initialize(void* hostingCallback);
};

// The host's path finder.
class HostPathFinder {
  public:
    virtual ~HostPathFinder() = default;
    // The user's data directory.
    virtual std::string GetUserDirectory() const;
    // The installation directory of the host.
    virtual std::string GetInstallDirectory() const;
};

class PathFactory {
  public:
    // The process's path finder (owned by the host).
    static HostPathFinder* getPathInstance();
};

class ExtensionFinder {
  public:
    // The directory of the host's components, with a trailing separator ($QEHOST_CF_PATH when set,
    // else the build tree's components).
    static std::string GetCFPath();
};

