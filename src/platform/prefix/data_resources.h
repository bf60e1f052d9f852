// Data resources of a module on Linux: the blobs the packager appended to an
// executable (appended_blobs.h), read with pread in pieces.
//
// The public entry points are those of platform/module_resources.h
// (SetResourceModule, FindDataResource, ListDataResources); this header adds
// what they are built from, so that a tool or a test can read a container in
// any file without changing the module.
//
// What this promises when things go wrong: a module that cannot be opened
// gives the Win32 error of the failed open; a damaged trailer or index gives
// kErrorInvalidData, and so does an ELF program followed by bytes that no
// trailer describes (a packed file cut short); a file without a container
// simply has no resources (kErrorResourceNameNotFound). Nothing is cached: every lookup reads the
// trailer and the index again, so a module replaced on disk is seen at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/module_resources.h"
#include "platform/prefix/appended_blobs.h"

namespace platform::prefix {

// Host path of the module whose resources are read now: the one given to
// SetResourceModule, else the running executable.
std::string ResourceModuleHostPath();

// Reads the container of the file at hostPath. True with the entries (none
// for a file without a container); false with the last error set when the
// file cannot be read or its container is damaged. baseSize, when given,
// receives the size of the original executable (the whole file when there is
// no container).
bool ReadBlobDirectory(const std::string& hostPath, std::vector<BlobEntry>* entries,
                       uint64_t* baseSize = nullptr);

// ReadResourceSeal for the file at hostPath.
bool ReadBlobSeal(const std::string& hostPath, ResourceSeal* seal);

// The blob called name (ASCII case ignored) in the file at hostPath; null
// with the last error set as FindDataResource does.
std::unique_ptr<ResourceData> OpenBlob(const std::string& hostPath, const String& name);

}  // namespace platform::prefix
