// A named file handed to the engine as a job input or output. Without a path the container makes
// an empty temporary file ("qecontfile_...") and deletes it when the last copy of the container
// goes, unless preserveTempFile() was called.
#pragma once

#include <memory>
#include <string>

#include "qeinteg/data/QEStatContainer.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QESimpleContainer : public QEStatContainer {
  public:
    // `path` in the host code page; empty makes a temporary file.
    QESimpleContainer(const std::string& name, std::string path);
    ~QESimpleContainer() override;
    // Copies name the same file and share its ownership: a temporary file is deleted with the
    // last of them.
    QESimpleContainer(const QESimpleContainer& other);
    QESimpleContainer& operator=(const QESimpleContainer& other);

    std::string getName() override;
    // The file's path in UTF-8.
    std::string getAbsolutePath() override;
    // The file's path in the host code page, as given or made.
    std::string getGenericPath() const;
    bool isTempFile() const;
    // Keeps a temporary file after the container (and its copies) are gone.
    void preserveTempFile();

  private:
    class TempFile;

    std::string _name;
    std::string _genericPath;
    std::string _absolutePath;
    // Set for a temporary file; shared by the copies.
    std::shared_ptr<TempFile> _tempFile;
};
