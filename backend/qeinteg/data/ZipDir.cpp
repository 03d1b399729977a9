#include "qeinteg/data/ZipDir.h"

#include "qeinteg/data/ZipReader.h"
#include "qeinteg/data/ZipWriter.h"

bool ZipDir(const std::string& archivePath, const std::string& directory) {
    ZipWriter writer(archivePath);
    if (!writer.IsOpen())
        return false;
    const bool added = writer.AddFullDirectory(directory);
    // The archive is only usable once its central directory is written.
    const bool closed = writer.Close();
    return added && closed;
}

bool UnzipToDir(const std::string& archivePath, const std::string& directory) {
    ZipReader reader(archivePath);
    if (!reader.IsOpen())
        return false;
    return reader.ExportFullDirectory(directory);
}
