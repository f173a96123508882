#pragma once
// mhpack: builds, lists and unpacks asset packages.

#include <cstdio>
#include <string>
#include <vector>

namespace mhpack {

struct ManifestEntry {
    int id;
    std::string path; // resolved against the manifest's directory
    int line;
    bool model = false; // a "model ID PATH" line: the model is compiled with its library
};

// Reads a manifest: one "ID PATH" (or "model ID PATH") per line, blank lines and lines starting with '#'
// ignored, PATH relative to the manifest's directory unless absolute. On failure the
// message (with the line number) goes to *error and the result is false. Ids must be
// distinct integers from 0 upwards; the files need not exist yet.
bool ParseManifest(const char* manifestPath, std::vector<ManifestEntry>* entries, std::string* error);
bool ParseManifestText(const std::string& text, const std::string& baseDir,
                       std::vector<ManifestEntry>* entries, std::string* error);

// The id header: one "#define FXNAME_<NAME>  <id>" line per entry, the name made from the
// file name exactly as the package's own header writer makes it. scratchPath is a file the
// writer may use on the way. Fails when two items would get the same name.
bool MakeNamesHeader(const std::vector<ManifestEntry>& entries, const std::string& scratchPath,
                     std::string* text, std::string* error);

// The command line: "build", "list", "extract" and their --help. Returns the exit status.
int Run(int argc, const char* const* argv, FILE* out, FILE* err);

} // namespace mhpack
