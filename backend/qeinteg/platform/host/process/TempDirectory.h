// The host's temporary-directory and file-name services. Paths are in the host code
// page ("generic" form); the file system is reached through their UTF-8 form (ExtNameStr).
#pragma once

#include <string>

// This process's temporary directory, with a trailing "/"; created when missing.
std::string GetTavoTempPath();

// A path in the temporary directory that names no existing file: the prefix followed by a
// unique suffix. Separators in the prefix are replaced, so the name stays in the directory.
std::string FormTempName(const std::string& prefix);

// Creates a new folder in the temporary directory whose name starts with `name` and returns its
// path (no trailing separator); empty when it could not be created.
std::string CreateTempFolder(const std::string& name);

// Removes a folder (and everything under it) that lies inside the temporary directory; paths
// outside it are refused. True when the folder is gone.
bool RemoveFolderFromTempDir(const std::string& path);

// Makes `path` absolute against the current directory and resolves "." and ".." lexically;
// repeated separators collapse to one and a trailing separator is kept. "\" counts as "/".
// False (out cleared) for an empty path or one longer than PATH_MAX.
bool ExpandFileSpecification(const std::string& path, std::string& out);

// True when something exists at `path` (expanded first).
bool ValidateFileSpecification(const std::string& path);

// Inspects a file path. valid: the path expands; exists: a file or directory is there;
// readOnly: it exists and this process may not write it; locked: another process holds a
// conflicting lock on it; inUse: always false here (POSIX keeps no share modes). Returns valid.
bool ValidateFileSpecificationEx(const std::string& path, bool& exists, bool& valid, bool& readOnly,
                                 bool& inUse, bool& locked);

// Inspects a directory path: expanded = the expanded path; exists: a directory is there;
// readOnly: it exists and this process may not create files in it. Returns whether the path
// expanded.
bool ValidateDirSpecification(const std::string& path, std::string& expanded, bool& exists,
                              bool& readOnly);
