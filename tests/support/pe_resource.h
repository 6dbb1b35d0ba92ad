// Finds a resource in a Windows executable file, read as plain bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of resource (type, name, language), all numeric, in the PE file
// at path. False with a reason in error when the file or resource is not
// there or the file is malformed.
bool ReadPeResource(const std::string& path, int type, int name, int language,
                    std::vector<uint8_t>& bytes, std::string& error);
