// Test control of the host application settings and install paths.
#pragma once

#include <string>

namespace qehost::testing {

// Test settings; ResetForTest puts them back to: instance available, locale "en_US", temporary
// folder = the test's temp root, 2 threads, install directory = <temp root>/install, component
// directory = <temp root>/cf/, user directory = <temp root>/user.
void SetAppHostAvailable(bool available);
void SetLocale(const std::string& locale);
void SetTempFolder(const std::string& folder);
void SetMaxCompThreads(int threads);
void SetInstallDirectory(const std::string& directory);
void SetUserDirectory(const std::string& directory);
void SetCFPath(const std::string& path);

// How often CFAppHost::update ran since the last reset.
int AppHostUpdateCount();
// CFEntry::initialize calls since the last reset and the callback of the last one.
int CFEntryInitializeCount();
void* LastCFEntryCallback();
// The pointer createCFHostingCalbck hands out.
void* HostingCallback();

}  // namespace qehost::testing
